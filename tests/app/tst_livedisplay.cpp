// The live display and the controls following a reading, fed with records
// built here: every shown text, visibility and colour of the panel.
#include "apptestsupport.h"
#include "testrecords.h"
#include "dmmdata.h"
#include "widget.h"

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QTest>

#include <functional>
#include <memory>

namespace {

using Change = std::function<void(DmmData &)>;

QString shown(Widget *window, const QString &check)
{
    const QString object = check.section(QLatin1Char('.'), 0, 0);
    const QString property = check.section(QLatin1Char('='), 0, 0).section(QLatin1Char('.'), 1);
    const QObject *found = window->findChild<QObject *>(object);
    if (!found)
        return QStringLiteral("<no %1>").arg(object);
    return found->property(property.toLatin1().constData()).toString();
}

} // namespace

Q_DECLARE_METATYPE(Change)

class TestLiveDisplay : public QObject
{
    Q_OBJECT
private slots:
    void readingShown_data();
    void readingShown();
    void editedSpinBoxKeepsItsText();
};

void TestLiveDisplay::readingShown_data()
{
    QTest::addColumn<Change>("change");
    // "object.property=value", compared as text.
    QTest::addColumn<QStringList>("expected");

    const auto row = [](const char *name, Change change, QStringList expected) {
        QTest::newRow(name) << std::move(change) << std::move(expected);
    };
    row("a plain reading", [](DmmData &) {},
        {"lcd.enabled=true", "lcdLine1Ch.text=CH1", "lcdLine1Value.text= 12.345 ", "lcdLIne1Unit.text=mV",
         "lcdLine2Ch.text=CH2", "lcdLine2Value.text= 1.2000 ", "lcdLIne2Unit.text=V", "lcdCH1Freq.text= 1.00 ",
         "lcdCH1FreqUnit.text=kHz", "lcdCH2Freq.text= 50.0 ", "lcdSpeed.text=MED", "cbbRate.currentText=MED",
         "cbbCH1Range.currentText=38mV", "cbbCH2Range.currentText=3.8V", "lcdRel.visible=false",
         "lcdHold.visible=false", "lcdCompare.visible=false", "btnCompareState.checked=false",
         "lcdMaxMin.text=", "btnHoldOption.enabled=true", "btnStoreDelete.enabled=false"});
    row("both lines on CH1",
        [](DmmData &d) {
            d.lines[1]->channel = d.channels[0];
            d.channels[0]->valueTexts[1] = QStringLiteral("-40.00");
            d.channels[0]->unitTexts[1] = QStringLiteral("dBm");
            d.channels[0]->functions[1] = QStringLiteral("DBM");
        },
        {"lcdLine2Ch.text=  ", "lcdLine2Value.text= -40.00 ", "lcdLIne2Unit.text=dBm", "cbbLine2CH.currentText=CH1",
         "cbbLine2Function.currentText=DBm"});
    row("auto in lower case", [](DmmData &d) { d.channels[1]->rangeMode = QStringLiteral("auto"); },
        {"cbbCH2Range.currentText=AUTO", "cbbCH1Range.currentText=38mV"});
    row("a range not in the list stays", [](DmmData &d) { d.channels[0]->rangeValue = QStringLiteral("5"); },
        {"cbbCH1Range.currentText=38mV"});
    row("an unknown function stays", [](DmmData &d) { d.channels[0]->functions[0] = QStringLiteral("OHM"); },
        {"cbbLine1Function.currentText=VOLT"});
    row("REL, HOLD and floating on",
        [](DmmData &d) {
            d.lines[0]->relState = true;
            d.lines[0]->holdState = true;
            d.channels[1]->floating = true;
        },
        {"lcdRel.visible=true", "lcdHold.visible=true", "btnRelState.checked=true", "btnRelState.text=ON",
         "btnHold.text=ON", "btnCH2Float.checked=true", "btnCH2Float.text=ON", "btnCH1Float.text=OFF"});
    row("percent with a reading",
        [](DmmData &d) {
            d.lines[0]->percentState = true;
            d.lines[0]->percentValue = 12.5;
        },
        {"lcdPercentTitle.text=Percent", "lcdPercentValue.text=12.50", "lcdPercentUnit.text=%",
         "lcdPercentValue.styleSheet=background-color: rgb(230, 230, 230);", "btnPercentState.text=ON"});
    row("percent with an overload",
        [](DmmData &d) {
            d.lines[0]->percentState = true;
            d.lines[0]->percentValue = DmmData::OverloadSentinel;
        },
        {"lcdPercentValue.text=OL"});
    row("percent off blanks", [](DmmData &) {},
        {"lcdPercentTitle.text=       ", "lcdPercentValue.text=     ", "lcdPercentUnit.text= ",
         "lcdPercentValue.styleSheet=", "btnPercentState.checked=false"});
    const auto maxMin = [](const char *function, double max, double min, const char *rangeValue, const char *unit) {
        return [=](DmmData &d) {
            d.lines[0]->maxMinState = true;
            d.lines[0]->maxValue = max;
            d.lines[0]->minValue = min;
            d.channels[0]->functions[0] = QString::fromLatin1(function);
            d.channels[0]->rangeValue = QString::fromLatin1(rangeValue);
            d.channels[0]->rangeUnit = QString::fromLatin1(unit);
        };
    };
    row("max/min in dBuV", maxMin("DBUV", 12.3456, -3, "38", "mV"),
        {"lcdMaxMin.text=Max:12.346dB\u03bcV  Min:-3.000dB\u03bcV", "btnMaxMin.checked=true", "btnMaxMin.text=ON"});
    row("max/min in Vpp on mV", maxMin("VPP", 0.0123, 0.001, "380", "mV"),
        {"lcdMaxMin.text=Max:12.30mVp-p  Min:1.00mVp-p"});
    row("max/min with an overload maximum", maxMin("VOLT", DmmData::OverloadSentinel, 0.5, "3.8", "V"),
        {"lcdMaxMin.text=Max: OLV  Min:0.5000V"});
    row("max/min in watts", maxMin("WATT", 0.0025, 1500, "3.8", "V"),
        {"lcdMaxMin.text=Max:2.5000mW  Min:1.5000kW"});
    row("max/min in dBm under range", maxMin("DBM", DmmData::LowSentinel, DmmData::NoneSentinel, "3.8", "V"),
        {"lcdMaxMin.text=Max:LodBm  Min:-----dBm"});
    const auto compare = [](const char *state) {
        return [=](DmmData &d) { d.lines[0]->compareState = QString::fromLatin1(state); };
    };
    row("compare in", compare("IN"),
        {"lcdCompare.visible=true", "lcdCompare.text=COMP IN", "lcdCompare.styleSheet=color: rgb(0,255,0);",
         "btnCompareState.checked=true", "btnCompareState.text=ON"});
    row("compare high", compare("HI"),
        {"lcdCompare.visible=true", "lcdCompare.text=COMP HI", "lcdCompare.styleSheet=color: rgb(255,0,0)"});
    row("compare off", compare("OFF"), {"lcdCompare.visible=false", "btnCompareState.text=OFF"});
    row("references and trigger",
        [](DmmData &d) {
            d.channels[1]->dbReference = 0.775;
            d.channels[0]->dbmReference = 50;
            d.lines[0]->percentReference = 0.0042;
            d.triggerSource = QStringLiteral("BUS");
        },
        {"spinCH2DB.value=0.775", "spinCH1DBM.value=50", "spinPercentRef.text=4.2000m",
         "cbbTriggerSource.currentText=BUS"});
}

void TestLiveDisplay::readingShown()
{
    QFETCH(Change, change);
    QFETCH(QStringList, expected);

    WindowFixture fixture;
    Widget *window = fixture.window();
    QVERIFY(!window->findChild<QWidget *>(QStringLiteral("lcd"))->isEnabled());

    // A first reading with other states, so that each row shows a change.
    auto first = baseline();
    first->lines[0]->relState = true;
    first->lines[0]->percentState = true;
    first->lines[0]->maxMinState = true;
    first->lines[0]->compareState = QStringLiteral("LO");
    first->channels[1]->rangeValue = QStringLiteral("38");
    show(window, std::move(first));

    auto record = baseline();
    change(*record);
    show(window, std::move(record));
    for (const QString &check : expected)
        QCOMPARE(check.section(QLatin1Char('='), 0, 0) + QLatin1Char('=') + shown(window, check), check);
}

void TestLiveDisplay::editedSpinBoxKeepsItsText()
{
    WindowFixture fixture;
    Widget *window = fixture.window();
    auto *percent = window->findChild<QAbstractSpinBox *>(QStringLiteral("spinPercentRef"));
    auto *lower = window->findChild<QAbstractSpinBox *>(QStringLiteral("spinCompareLower"));
    window->activateWindow();
    percent->setFocus();
    QTRY_VERIFY(percent->hasFocus());
    percent->findChild<QLineEdit *>()->selectAll();
    QTest::keyClicks(percent, QStringLiteral("7.5k"));

    auto record = baseline();
    record->lines[0]->percentReference = 3;
    record->lines[0]->compareLower = -2;
    show(window, std::move(record));
    QCOMPARE(percent->text(), QStringLiteral("7.5k"));
    // The others still follow the meter.
    QCOMPARE(lower->text(), QStringLiteral("-2.0000 "));
}

QTEST_MAIN(TestLiveDisplay)
#include "tst_livedisplay.moc"
