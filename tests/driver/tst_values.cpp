// Reading states, engineering scaling, number/unit splitting and the
// significant-digits rule.
#include "varnoktestaccess.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TestValues : public QObject
{
    Q_OBJECT
private slots:
    void valueMode_data();
    void valueMode();
    void valueText_data();
    void valueText();
    void convertValue_data();
    void convertValue();
    void detachValueUnit_data();
    void detachValueUnit();
    void hexString_data();
    void hexString();
};

void TestValues::valueMode_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("mode");
    QTest::newRow("overload") << 9.9e37 << 2;
    QTest::newRow("none") << 9.91e37 << 3;
    QTest::newRow("low") << -9.9e37 << 1;
    QTest::newRow("negative none is a number") << -9.91e37 << 0;
    QTest::newRow("zero") << 0.0 << 0;
    QTest::newRow("near overload") << 9.8e37 << 0;
    QTest::newRow("parsed from the meter's text") << QByteArray("9.9E+37").toDouble() << 2;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << 0;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 0;
}

void TestValues::valueMode()
{
    QFETCH(double, value);
    QFETCH(int, mode);
    QCOMPARE(int(Varnok::getValueMode(value)), mode);
}

void TestValues::valueText_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::newRow("normal") << 0 << QString();
    QTest::newRow("low") << 1 << "Lo";
    QTest::newRow("overload") << 2 << "OL";
    QTest::newRow("none: five hyphens") << 3 << "-----";
    QTest::newRow("unknown") << 7 << QString();
}

void TestValues::valueText()
{
    QFETCH(int, mode);
    QFETCH(QString, text);
    QCOMPARE(Varnok::getValueStr(static_cast<DmmData::ValueMode>(mode)), text);
}

void TestValues::convertValue_data()
{
    const QString micro(QChar(0x03BC));
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("scaled");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("zero") << 0.0 << 0.0 << QString();
    QTest::newRow("milli") << 0.0042 << 4.2 << "m";
    QTest::newRow("stops after two steps") << 3.5e-7 << 0.35 << micro;
    QTest::newRow("one nano") << 1e-9 << 0.001 << micro;
    QTest::newRow("kilo") << 12500.0 << 12.5 << "k";
    QTest::newRow("giga stays mega") << 2.5e9 << 2500.0 << "M";
    QTest::newRow("plain") << 250.0 << 250.0 << QString();
    QTest::newRow("just below 1000") << 999.999 << 999.999 << QString();
    QTest::newRow("exactly 1000") << 1000.0 << 1.0 << "k";
    QTest::newRow("exactly 1") << 1.0 << 1.0 << QString();
    QTest::newRow("negative goes twice") << -5.0 << -5e6 << micro;
}

void TestValues::convertValue()
{
    QFETCH(double, value);
    QFETCH(double, scaled);
    QFETCH(QString, prefix);
    QString gotPrefix = QStringLiteral("stale");
    VarnokTestAccess::convertValue(&value, &gotPrefix);
    QVERIFY2(std::fabs(value - scaled) <= 1e-9 * std::fabs(scaled), qPrintable(QString::number(value, 'g', 17)));
    QCOMPARE(gotPrefix, prefix);
}

void TestValues::detachValueUnit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("split");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("unit");
    QTest::newRow("millivolt") << "1.234mV" << true << "1.234" << "mV";
    QTest::newRow("no unit") << "12" << true << "12" << QString();
    QTest::newRow("exponent") << "1.2345E-01V" << true << "1.2345E-01" << "V";
    QTest::newRow("hertz") << "5.0000E+01Hz" << true << "5.0000E+01" << "Hz";
    QTest::newRow("unit only") << "V" << false << "old" << "old";
    QTest::newRow("hyphens") << "-----" << false << "old" << "old";
    QTest::newRow("empty") << QString() << false << "old" << "old";
}

void TestValues::detachValueUnit()
{
    QFETCH(QString, text);
    QFETCH(bool, split);
    QFETCH(QString, number);
    QFETCH(QString, unit);
    QString gotNumber = QStringLiteral("old");
    QString gotUnit = QStringLiteral("old");
    QCOMPARE(VarnokTestAccess::detachValueUnit(text, &gotNumber, &gotUnit), split);
    QCOMPARE(gotNumber, number);
    QCOMPARE(gotUnit, unit);
}

void TestValues::hexString_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("line feed and 0xFF") << QByteArray("\x0a\xff") << "0A FF ";
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("nul and letters") << QByteArray("\0a", 2) << "00 61 ";
}

void TestValues::hexString()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Varnok::arrayToHexString(bytes), text);
}

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
