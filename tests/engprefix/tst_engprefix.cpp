// The engineering prefix table and its functions, exhaustively: every row of
// the table reached by scaling, lookup and the typed letters, and the decimals
// rule across the whole range of the table.
#include "engprefix.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TestEngPrefix : public QObject
{
    Q_OBJECT
private slots:
    void scale_data();
    void scale();
    void lookup_data();
    void lookup();
    void letters();
    void decimals_data();
    void decimals();
    void fixed_data();
    void fixed();
    void texts();
};

void TestEngPrefix::scale_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("shift");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("prefix");

    QTest::newRow("1500") << 1500.0 << 0 << 0 << -1 << 1.5 << "k";
    QTest::newRow("5") << 5.0 << 0 << 0 << -1 << 5.0 << " ";
    QTest::newRow("0.0042") << 0.0042 << 0 << 0 << -1 << 4.2 << "m";
    QTest::newRow("below the table") << 2e-13 << 0 << 0 << -1 << 0.2 << "p";
    QTest::newRow("5e13") << 5e13 << 0 << 0 << -1 << 50.0 << "T";
    QTest::newRow("above the table") << 3e16 << 0 << 0 << -1 << 30000.0 << "T";
    QTest::newRow("zero") << 0.0 << 0 << 0 << -1 << 0.0 << " ";
    QTest::newRow("999.9 stays") << 999.9 << 0 << 0 << -1 << 999.9 << " ";
    QTest::newRow("1000 switches") << 1000.0 << 0 << 0 << -1 << 1.0 << "k";
    QTest::newRow("negative keeps its sign") << -0.25 << 0 << 0 << -1 << -250.0 << "m";
    QTest::newRow("mega") << 3e6 << 0 << 0 << -1 << 3.0 << "M";
    QTest::newRow("giga") << 7e9 << 0 << 0 << -1 << 7.0 << "G";
    QTest::newRow("micro") << 2e-6 << 0 << 0 << -1 << 2.0 << "u";
    QTest::newRow("nano") << 2e-9 << 0 << 0 << -1 << 2.0 << "n";
    QTest::newRow("shift one down") << 1500.0 << 1 << 0 << -1 << 1.5 << "K";
    QTest::newRow("shift past the end") << 2e-12 << 3 << 0 << -1 << 2.0 << "p";
    QTest::newRow("shift before the start") << 5e12 << -2 << 0 << -1 << 5.0 << "T";
    QTest::newRow("negative first means 0") << 1500.0 << 0 << -4 << -1 << 1.5 << "k";
    QTest::newRow("first skips larger rows") << 5e6 << 0 << 3 << -1 << 5000.0 << "k";
    QTest::newRow("last stops early") << 0.0042 << 0 << 0 << 5 << 0.0042 << "";
    QTest::newRow("last past the end") << 0.0042 << 0 << 0 << 99 << 4.2 << "m";
}

void TestEngPrefix::scale()
{
    QFETCH(double, x);
    QFETCH(int, shift);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(double, value);
    QFETCH(QString, prefix);

    const EngPrefix::Scaled scaled = EngPrefix::scaleToPrefix(x, shift, first, last);
    QCOMPARE(scaled.prefix, prefix);
    QVERIFY2(std::fabs(scaled.value - value) <= 1e-9 * std::fabs(value), qPrintable(QString::number(scaled.value)));
    if (x != 0)
        QVERIFY(std::fabs(scaled.value / scaled.reciprocal - x) <= 1e-9 * std::fabs(x));
}

void TestEngPrefix::lookup_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<bool>("found");
    QTest::addColumn<double>("factor");

    const double factors[] = {1e12, 1e9, 1e6, 1e3, 1e3, 1, 1, 1e-3, 1e-6, 1e-9, 1e-12};
    int row = 0;
    for (const EngPrefix::Entry &entry : EngPrefix::table()) {
        QTest::addRow("'%s'", qPrintable(entry.text)) << entry.text << true << factors[row];
        ++row;
    }
    QCOMPARE(row, 11);
    QTest::newRow("unknown x") << "x" << false << 1.0;
    QTest::newRow("case-sensitive: t") << "t" << false << 1.0;
    QTest::newRow("two letters") << "kk" << false << 1.0;
}

void TestEngPrefix::lookup()
{
    QFETCH(QString, prefix);
    QFETCH(bool, found);
    QFETCH(double, factor);

    QCOMPARE(EngPrefix::factorOf(prefix).has_value(), found);
    if (found)
        QCOMPARE(*EngPrefix::factorOf(prefix), factor);
    // An unknown prefix leaves the number as it is.
    QCOMPARE(EngPrefix::valueFromPrefixed(1.5, prefix), 1.5 * factor);
}

void TestEngPrefix::letters()
{
    // Every typed letter maps to a table entry; nothing else is a letter.
    const QString typed = QStringLiteral("TGMKmunptgkUNP");
    for (QChar c : typed) {
        QVERIFY2(EngPrefix::isPrefixLetter(c), qPrintable(QString(c)));
        QVERIFY2(EngPrefix::factorOf(EngPrefix::normalisePrefixLetter(c)).has_value(), qPrintable(QString(c)));
    }
    for (const QString &other : {QStringLiteral(" "), QString(), QStringLiteral("x"), QStringLiteral("km"),
                                 QStringLiteral("1"), QStringLiteral("e"), QStringLiteral("\u03bc")})
        QVERIFY2(!EngPrefix::isPrefixLetter(other), qPrintable(other));

    QCOMPARE(EngPrefix::normalisePrefixLetter('k'), QChar('K'));
    QCOMPARE(EngPrefix::normalisePrefixLetter('P'), QChar('p'));
    // Mega and milli keep their case.
    QCOMPARE(EngPrefix::normalisePrefixLetter('M'), QChar('M'));
    QCOMPARE(EngPrefix::normalisePrefixLetter('m'), QChar('m'));
    QCOMPARE(EngPrefix::normalisePrefixLetter('x'), QChar('x'));
}

void TestEngPrefix::decimals_data()
{
    QTest::addColumn<int>("digits");
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("decimals");

    QTest::newRow("zero") << 5 << 0.0 << 4;
    QTest::newRow("zero, no digits") << 0 << 0.0 << 0;
    QTest::newRow("1.5") << 4 << 1.5 << 3;
    QTest::newRow("15") << 4 << 15.0 << 2;
    QTest::newRow("150") << 4 << 150.0 << 1;
    QTest::newRow("1500") << 4 << 1500.0 << 0;
    QTest::newRow("999.9") << 4 << 999.9 << 1;
    QTest::newRow("300 mV range") << 5 << 300.0 << 2;
    QTest::newRow("too many digits") << 5 << 123456.0 << 0;
    QTest::newRow("below one") << 5 << 0.5 << 4;
    QTest::newRow("below a tenth") << 5 << 0.05 << 5;
    QTest::newRow("nan") << 5 << std::numeric_limits<double>::quiet_NaN() << 0;
    QTest::newRow("infinity") << 5 << -std::numeric_limits<double>::infinity() << 0;

    // Every power of ten of the table's span and the number just below it,
    // both signs. At 10^k there are k + 1 integer digits; just below, k (for
    // k >= 1). Below 1 the count truncates toward zero: k + 1 either way.
    constexpr int digits = 20;
    for (int k = -12; k <= 15; ++k) {
        const double power = std::pow(10.0, k);
        const double below = std::nextafter(power, 0.0);
        const int atPower = k + 1;
        const int justBelow = k >= 1 ? k : k + 1;
        for (double sign : {1.0, -1.0}) {
            QTest::addRow("%s1e%d", sign < 0 ? "-" : "", k) << digits << sign * power << digits - atPower;
            QTest::addRow("%sbelow 1e%d", sign < 0 ? "-" : "", k) << digits << sign * below << digits - justBelow;
        }
    }
}

void TestEngPrefix::decimals()
{
    QFETCH(int, digits);
    QFETCH(double, x);
    QFETCH(int, decimals);
    QCOMPARE(EngPrefix::decimalsForDigits(digits, x), decimals);
}

void TestEngPrefix::fixed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::newRow("decimals") << "1.2345" << true << 1.2345 << 4;
    QTest::newRow("blanks and sign") << "  -0.300 " << true << -0.3 << 3;
    QTest::newRow("integer") << "12" << true << 12.0 << 0;
    QTest::newRow("overload") << "  OL " << false << 0.0 << 0;
    QTest::newRow("no number") << "-----" << false << 0.0 << 0;
    QTest::newRow("two points") << "1.2.3" << false << 0.0 << 0;
    QTest::newRow("empty") << "" << false << 0.0 << 0;
}

void TestEngPrefix::fixed()
{
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    QFETCH(int, decimals);
    const std::optional<EngPrefix::Fixed> read = EngPrefix::readFixed(text);
    QCOMPARE(read.has_value(), isNumber);
    if (read) {
        QCOMPARE(read->value, value);
        QCOMPARE(read->decimals, decimals);
    }
}

// The texts of statistics and alarms: a unit per function, a prefixed value
// for people, six digits for files.
void TestEngPrefix::texts()
{
    QCOMPARE(EngPrefix::prefixedText(0.12295, "V"), QStringLiteral("122.95 mV"));
    QCOMPARE(EngPrefix::prefixedText(1.23456, "V"), QStringLiteral("1.2346 V"));
    QCOMPARE(EngPrefix::prefixedText(2.5e-6, "W"), QStringLiteral("2.5000 \u03bcW"));
    QCOMPARE(EngPrefix::prefixedText(-12.5, "dBm"), QStringLiteral("-12.500 dBm"));
    QCOMPARE(EngPrefix::prefixedText(std::nan(""), "V"), QStringLiteral("-"));
    QCOMPARE(EngPrefix::plainNumberDigits(2.1034699871e-05, 6), QByteArray("2.10347e-05"));
    QCOMPARE(EngPrefix::plainNumberDigits(0.12300099, 6), QByteArray("0.123001"));
    QCOMPARE(EngPrefix::baseUnit("VPP") + EngPrefix::baseUnit("WATT") + EngPrefix::baseUnit("DBM"),
             QStringLiteral("VWdBm"));
}

QTEST_GUILESS_MAIN(TestEngPrefix)
#include "tst_engprefix.moc"
