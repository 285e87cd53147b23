// The engineering spin box: what it shows and what it accepts agree under the
// widget's locale, prefixes scale, and nothing that is not a finite number in
// range reaches the value.
#include "doubleshortspinbox.h"

#include <QLineEdit>
#include <QTest>

class TestEngSpinBox : public QObject
{
    Q_OBJECT
private slots:
    void typed_data();
    void typed();
    void shown_data();
    void shown();
    void validation_data();
    void validation();
};

namespace {

// As the window builds it.
void configure(DoubleShortSpinBox &box, const char *locale)
{
    box.setLocale(QLocale(QString::fromLatin1(locale)));
    box.setDecimals(5);
    box.setRange(-1e8, 1e8);
    box.setValue(7);
}

} // namespace

void TestEngSpinBox::typed_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    const auto row = [](const char *locale, const char *text, double value) {
        QTest::addRow("%s %s", locale, text) << locale << QString::fromUtf8(text) << value;
    };
    row("C", "1.5k", 1500);
    row("C", "1.5K", 1500);
    row("C", "2u", 2e-6);
    row("C", "2U", 2e-6);
    row("C", "3M", 3e6);
    row("C", "3m", 3e-3);
    row("C", "-250m", -0.25);
    row("C", "12", 12);
    row("C", "3x", 7);       // not a number: the value stays
    row("C", "k", 7);
    row("C", "nan", 7);
    row("C", "inf", 7);
    row("C", "1e300T", 7);   // overflows to infinity
    row("C", "1e9", 1e8);    // held to the range
    row("C", "-5G", -1e8);
    row("de_DE", "1,5k", 1500);
    row("de_DE", "0,0042", 0.0042);
    row("de_DE", "1.5k", 1500); // a decimal point is still understood
    row("de_DE", "2,5u", 2.5e-6);
}

void TestEngSpinBox::typed()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(double, value);

    DoubleShortSpinBox box;
    configure(box, qPrintable(locale));
    box.findChild<QLineEdit *>()->setText(text);
    box.interpretText();
    QCOMPARE(box.value(), value);
}

void TestEngSpinBox::shown_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("C 0.0042") << "C" << 0.0042 << "4.2000m";
    QTest::newRow("C 1500") << "C" << 1500.0 << "1.5000k";
    QTest::newRow("C 0") << "C" << 0.0 << "0.0000 ";
    QTest::newRow("C -0.25") << "C" << -0.25 << "-250.00m";
    QTest::newRow("C 2u kept whole") << "C" << 2e-6 << "2.0000u";
    QTest::newRow("C 1e8") << "C" << 1e8 << "100.00M";
    QTest::newRow("de_DE 0.0042") << "de_DE" << 0.0042 << "4,2000m";
    QTest::newRow("de_DE 1500") << "de_DE" << 1500.0 << "1,5000k";
}

void TestEngSpinBox::shown()
{
    QFETCH(QString, locale);
    QFETCH(double, value);
    QFETCH(QString, text);

    DoubleShortSpinBox box;
    configure(box, qPrintable(locale));
    box.setValue(value);
    QCOMPARE(box.value(), value);
    QCOMPARE(box.text(), text);
    // What it shows, it reads back.
    box.setValue(1);
    box.findChild<QLineEdit *>()->setText(text);
    box.interpretText();
    QCOMPARE(box.value(), value);
}

void TestEngSpinBox::validation_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("state");

    QTest::newRow("nothing typed yet") << "" << 0 << int(QValidator::Intermediate);
    QTest::newRow("a lone minus") << "-" << 1 << int(QValidator::Intermediate);
    QTest::newRow("a lone plus") << "+" << 1 << int(QValidator::Intermediate);
    QTest::newRow("a lone k") << "k" << 1 << int(QValidator::Intermediate);
    QTest::newRow("1.5k") << "1.5k" << 4 << int(QValidator::Acceptable);
    QTest::newRow("with blanks") << " 12 " << 3 << int(QValidator::Acceptable);
    QTest::newRow("3x") << "3x" << 2 << int(QValidator::Invalid);
    QTest::newRow("nan") << "nan" << 3 << int(QValidator::Invalid);
    QTest::newRow("a prefix alone later") << "kk" << 2 << int(QValidator::Invalid);
}

void TestEngSpinBox::validation()
{
    QFETCH(QString, input);
    QFETCH(int, pos);
    QFETCH(int, state);

    DoubleShortSpinBox box;
    configure(box, "C");
    QCOMPARE(int(box.validate(input, pos)), state);
}

QTEST_MAIN(TestEngSpinBox)
#include "tst_engspinbox.moc"
