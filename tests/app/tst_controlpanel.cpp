// Every control of the panel against the real driver and the simulated
// meter: the exact command and its follow-up query at the meter, the change
// rules of the range and trigger boxes, the hold options dialog, and the
// controls following what the meter reports.
#include "apptestsupport.h"
#include "modalanswerer.h"
#include "nokerneldevices.h"
#include "simulatedmeter.h"
#include "widget.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <functional>

namespace {

constexpr int LinkTimeoutMs = 30000;

template <typename T>
T *child(Widget *window, const char *name)
{
    auto *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

void pick(Widget *window, const char *combo, const QString &text)
{
    auto *box = child<QComboBox>(window, combo);
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    box->setCurrentIndex(index);
    emit box->activated(index);
}

void type(Widget *window, const char *spin, const QString &text)
{
    auto *box = child<QAbstractSpinBox>(window, spin);
    box->setFocus();
    box->findChild<QLineEdit *>()->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return); // editingFinished
    box->clearFocus();
}

void click(Widget *window, const char *button)
{
    child<QPushButton>(window, button)->click();
}

// Answers the hold options dialog with a window and a count, or cancels it.
void answerHoldDialog(ModalAnswerer &answerer, bool accept, const QString &window = QString(), int count = 0)
{
    answerer.setDialogHandler([=](QDialog *dialog) {
        if (accept) {
            auto *windows = dialog->findChild<QComboBox *>(QStringLiteral("cbbWindow"));
            windows->setCurrentIndex(windows->findText(window));
            dialog->findChild<QSpinBox *>(QStringLiteral("spinCount"))->setValue(count);
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
}

} // namespace

class TestControlPanel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyControlSendsItsSettingAndQuery();
    void rangeAndTriggerSendOnlyChanges();
    void holdOptions();
    void controlsWhileClosedSendNothingLater();

private:
    void connectWindow();
    std::vector<std::string> commandsFrom(size_t mark) const;
    // True once `command` reached the meter after `mark`, directly followed by `query`.
    bool sentThenQueried(size_t mark, const std::string &command, const std::string &query) const;
    bool sentAny(size_t mark, const std::string &prefix) const;
    void waitForLivePasses(int passes);

    NoKernelDevices noUsbDevices;
    std::shared_ptr<dmmsim::SimulatedMeter> meter;
    std::unique_ptr<WindowFixture> fixture;
};

void TestControlPanel::initTestCase()
{
    QVERIFY(noUsbDevices.isValid());
}

void TestControlPanel::init()
{
    meter = std::make_shared<dmmsim::SimulatedMeter>();
    visa::addInProcessInstrument(meter);
    fixture = std::make_unique<WindowFixture>();
}

void TestControlPanel::cleanup()
{
    fixture->closeWindow();
    fixture.reset();
    visa::removeInProcessInstrument(meter.get());
    meter.reset();
}

void TestControlPanel::connectWindow()
{
    fixture->action("actionConnect")->trigger();
    QVERIFY(fixture->action("actionDisconnect")->isEnabled());
    waitForLivePasses(1);
}

std::vector<std::string> TestControlPanel::commandsFrom(size_t mark) const
{
    const std::vector<std::string> log = meter->commandLog();
    return {log.begin() + qMin(mark, log.size()), log.end()};
}

bool TestControlPanel::sentThenQueried(size_t mark, const std::string &command, const std::string &query) const
{
    const std::vector<std::string> sent = commandsFrom(mark);
    for (size_t i = 0; i + 1 < sent.size(); ++i) {
        if (sent[i] == command)
            return sent[i + 1] == query;
    }
    return false;
}

bool TestControlPanel::sentAny(size_t mark, const std::string &prefix) const
{
    for (const std::string &line : commandsFrom(mark)) {
        if (line.rfind(prefix, 0) == 0)
            return true;
    }
    return false;
}

void TestControlPanel::waitForLivePasses(int passes)
{
    const size_t mark = meter->commandLog().size();
    const auto fetches = [&] {
        int count = 0;
        for (const std::string &line : commandsFrom(mark))
            count += line == "Fetch?";
        return count;
    };
    QTRY_VERIFY_WITH_TIMEOUT(fetches() >= passes + 1, LinkTimeoutMs);
}

void TestControlPanel::everyControlSendsItsSettingAndQuery()
{
    struct Row
    {
        const char *name;
        std::function<void(Widget *)> use;
        std::string command;
        std::string query;
    };
    const std::vector<Row> rows{
        {"range 380mV is sent as 370mV", [](Widget *w) { pick(w, "cbbCH1Range", "380mV"); },
         "VOLTage:RANGe:CH1 370mV", "VOLTage:RANGe:CH1?"},
        {"range CH2 3.8V", [](Widget *w) { pick(w, "cbbCH2Range", "3.8V"); }, "VOLTage:RANGe:CH2 3.7V",
         "VOLTage:RANGe:CH2?"},
        {"line 1 shows CH2", [](Widget *w) { pick(w, "cbbLine1CH", "CH2"); }, "FUNCtion:LINE1 CH2", "FUNCtion:LINE1?"},
        {"line 2 dBuV on CH1",
         [](Widget *w) {
             child<QComboBox>(w, "cbbLine2CH")->setCurrentIndex(0);
             pick(w, "cbbLine2Function", QStringLiteral("DB\u03bcV"));
         },
         "FUNCtion:LINE2 CH1,DBUV", "FUNCtion:LINE2?"},
        {"rate", [](Widget *w) { pick(w, "cbbRate", "SLOW"); }, "VOLTage:RATE SLOW", "VOLTage:RATE?"},
        {"dB reference CH1", [](Widget *w) { type(w, "spinCH1DB", "2.5"); }, "SENSe:DB:REFerence:CH1 2.5",
         "SENSe:DB:REFerence:CH1?"},
        {"dBm reference CH2", [](Widget *w) { type(w, "spinCH2DBM", "50"); }, "SENSe:DBM:REFerence:CH2 50",
         "SENSe:DBM:REFerence:CH2?"},
        {"REL", [](Widget *w) { click(w, "btnRelState"); }, "SENSe:REL:STATe ON", "SENSe:REL:STATe?"},
        {"HOLD", [](Widget *w) { click(w, "btnHold"); }, "SENSe:HOLD:STATe ON", "SENSe:HOLD:STATe?"},
        {"percent", [](Widget *w) { click(w, "btnPercentState"); }, "CALCulate:PERCent:STATe ON",
         "CALCulate:PERCent:STATe?"},
        {"percent reference 1.5k", [](Widget *w) { type(w, "spinPercentRef", "1.5k"); },
         "CALCulate:PERCent:REFerence 1500", "CALCulate:PERCent:REFerence?"},
        {"max/min", [](Widget *w) { click(w, "btnMaxMin"); }, "CALCulate:MAXMin:STATe ON", "CALCulate:MAXMin:STATe?"},
        {"compare", [](Widget *w) { click(w, "btnCompareState"); }, "CALCulate:COMPare:STATe ON",
         "CALCulate:COMPare:STATe?"},
        {"compare lower -250m", [](Widget *w) { type(w, "spinCompareLower", "-250m"); },
         "CALCulate:COMPare:LOWer -0.25", "CALCulate:COMPare:LOWer?"},
        {"compare upper 2u", [](Widget *w) { type(w, "spinCompareUpper", "2u"); }, "CALCulate:COMPare:UPPer 2e-06",
         "CALCulate:COMPare:UPPer?"},
        {"trigger source", [](Widget *w) { pick(w, "cbbTriggerSource", "BUS"); }, "TRIGger:SOURce BUS",
         "TRIGger:SOURce?"},
        {"float CH1", [](Widget *w) { click(w, "btnCH1Float"); }, "SYSTem:FLOAt:CH1 ON", "SYSTem:FLOAt:CH1?"},
        {"float CH2", [](Widget *w) { click(w, "btnCH2Float"); }, "SYSTem:FLOAt:CH2 ON", "SYSTem:FLOAt:CH2?"},
    };

    connectWindow();
    Widget *w = fixture->window();
    for (const Row &row : rows) {
        const size_t mark = meter->commandLog().size();
        row.use(w);
        QTRY_VERIFY2_WITH_TIMEOUT(sentThenQueried(mark, row.command, row.query), row.name, LinkTimeoutMs);
    }

    // The meter's answers come back: display and controls show what the
    // meter took, not what was clicked.
    waitForLivePasses(2);
    QCOMPARE(child<QComboBox>(w, "cbbCH1Range")->currentText(), QStringLiteral("380mV"));
    QCOMPARE(child<QComboBox>(w, "cbbCH2Range")->currentText(), QStringLiteral("3.8V"));
    QCOMPARE(child<QComboBox>(w, "cbbLine1CH")->currentText(), QStringLiteral("CH2"));
    QCOMPARE(child<QComboBox>(w, "cbbLine2Function")->currentData().toString(), QStringLiteral("DBUV"));
    QCOMPARE(child<QComboBox>(w, "cbbRate")->currentText(), QStringLiteral("SLOW"));
    QCOMPARE(child<QComboBox>(w, "cbbTriggerSource")->currentText(), QStringLiteral("BUS"));
    QCOMPARE(child<QDoubleSpinBox>(w, "spinCH2DBM")->value(), 50.0);
    QCOMPARE(child<QDoubleSpinBox>(w, "spinPercentRef")->value(), 1500.0);
    QCOMPARE(child<QDoubleSpinBox>(w, "spinCompareUpper")->value(), 2e-6);
    for (const char *on : {"btnRelState", "btnHold", "btnPercentState", "btnMaxMin", "btnCompareState",
                           "btnCH1Float", "btnCH2Float"}) {
        QVERIFY2(child<QPushButton>(w, on)->isChecked(), on);
        QCOMPARE(child<QPushButton>(w, on)->text(), QStringLiteral("ON"));
    }
    QCOMPARE(child<QLabel>(w, "lcdLine1Ch")->text(), QStringLiteral("CH2"));
    QCOMPARE(child<QLabel>(w, "lcdLine2Ch")->text(), QStringLiteral("CH1"));
    QCOMPARE(child<QLabel>(w, "lcdLIne2Unit")->text(), QStringLiteral("dB\u03bcV"));
    QCOMPARE(child<QLabel>(w, "lcdSpeed")->text(), QStringLiteral("SLOW"));
    QVERIFY(child<QLabel>(w, "lcdRel")->isVisible());
    QVERIFY(child<QLabel>(w, "lcdHold")->isVisible());
    QVERIFY(child<QLabel>(w, "lcdCompare")->isVisible());
    QCOMPARE(child<QLabel>(w, "lcdPercentTitle")->text(), QStringLiteral("Percent"));
    QVERIFY(child<QLabel>(w, "lcdMaxMin")->text().startsWith(QLatin1String("Max:")));
    QVERIFY(child<QWidget>(w, "lcd")->isEnabled());

    // A range changed at the meter itself shows as well, and a switch
    // follows the meter's answer.
    meter->write("VOLTage:RANGe:CH1 AUTO\n");
    const size_t mark = meter->commandLog().size();
    click(w, "btnHold");
    QTRY_VERIFY_WITH_TIMEOUT(sentThenQueried(mark, "SENSe:HOLD:STATe OFF", "SENSe:HOLD:STATe?"), LinkTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(child<QComboBox>(w, "cbbCH1Range")->currentText(), QStringLiteral("AUTO"), LinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!child<QLabel>(w, "lcdHold")->isVisible(), LinkTimeoutMs);

    // After the link ends the display no longer passes for live.
    fixture->action("actionDisconnect")->trigger();
    QVERIFY(!child<QWidget>(w, "lcd")->isEnabled());
}

void TestControlPanel::rangeAndTriggerSendOnlyChanges()
{
    connectWindow();
    Widget *w = fixture->window();
    waitForLivePasses(1);

    // Picking what is shown again sends nothing.
    size_t mark = meter->commandLog().size();
    pick(w, "cbbCH1Range", "AUTO");
    pick(w, "cbbTriggerSource", "IMM");
    waitForLivePasses(2);
    QVERIFY(!sentAny(mark, "VOLTage:RANGe:CH1 "));
    QVERIFY(!sentAny(mark, "TRIGger:SOURce "));

    // A range the meter changed by itself arms the box: picking the item now
    // shown is sent.
    meter->write("VOLTage:RANGe:CH1 3.7V\n");
    QTRY_COMPARE_WITH_TIMEOUT(child<QComboBox>(w, "cbbCH1Range")->currentText(), QStringLiteral("3.8V"), LinkTimeoutMs);
    mark = meter->commandLog().size();
    pick(w, "cbbCH1Range", "3.8V");
    QTRY_VERIFY_WITH_TIMEOUT(sentThenQueried(mark, "VOLTage:RANGe:CH1 3.7V", "VOLTage:RANGe:CH1?"), LinkTimeoutMs);
    // ... once.
    mark = meter->commandLog().size();
    pick(w, "cbbCH1Range", "3.8V");
    waitForLivePasses(2);
    QVERIFY(!sentAny(mark, "VOLTage:RANGe:CH1 "));

    // "AUTO" is sent as AUTO.
    pick(w, "cbbCH1Range", "AUTO");
    QTRY_VERIFY_WITH_TIMEOUT(sentThenQueried(mark, "VOLTage:RANGe:CH1 AUTO", "VOLTage:RANGe:CH1?"), LinkTimeoutMs);
}

void TestControlPanel::holdOptions()
{
    ModalAnswerer answerer;
    connectWindow();
    Widget *w = fixture->window();
    auto *options = child<QPushButton>(w, "btnHoldOption");
    QVERIFY(options->isEnabled());

    // Cancelled: nothing sent, still enabled.
    answerHoldDialog(answerer, false);
    size_t mark = meter->commandLog().size();
    options->click();
    QCOMPARE(answerer.dialogCount(), 1);
    QVERIFY(options->isEnabled());
    waitForLivePasses(2);
    QVERIFY(!sentAny(mark, "SENSe:HOLD:"));

    // Accepted: window then count, each with its query; disabled until the
    // next reading.
    answerHoldDialog(answerer, true, QStringLiteral("10"), 7);
    mark = meter->commandLog().size();
    options->click();
    QVERIFY(!options->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(sentThenQueried(mark, "SENSe:HOLD:WINDow 10%", "SENSe:HOLD:WINDow?"), LinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(sentThenQueried(mark, "SENSe:HOLD:COUNt 7", "SENSe:HOLD:COUNt?"), LinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(options->isEnabled(), LinkTimeoutMs);

    // The dialog opens again with what the meter took.
    waitForLivePasses(1);
    answerer.setDialogHandler([](QDialog *dialog) {
        QCOMPARE(dialog->findChild<QComboBox *>(QStringLiteral("cbbWindow"))->currentText(), QStringLiteral("10"));
        QCOMPARE(dialog->findChild<QSpinBox *>(QStringLiteral("spinCount"))->value(), 7);
        dialog->reject();
    });
    options->click();
    QCOMPARE(answerer.dialogCount(), 3);
}

void TestControlPanel::controlsWhileClosedSendNothingLater()
{
    ModalAnswerer answerer;
    answerHoldDialog(answerer, true, QStringLiteral("1"), 5);
    Widget *w = fixture->window();
    pick(w, "cbbCH2Range", "38V");
    pick(w, "cbbLine1Function", "WATT");
    click(w, "btnRelState");
    click(w, "btnCH1Float");
    type(w, "spinCompareUpper", "3M");
    child<QPushButton>(w, "btnHoldOption")->setEnabled(true);
    child<QPushButton>(w, "btnHoldOption")->click();

    connectWindow();
    waitForLivePasses(2);
    for (const char *prefix : {"VOLTage:RANGe:CH2 ", "FUNCtion:LINE1 ", "SENSe:REL:STATe ", "SYSTem:FLOAt:CH1 ",
                               "CALCulate:COMPare:UPPer ", "SENSe:HOLD:WINDow ", "SENSe:HOLD:COUNt "})
        QVERIFY2(!sentAny(0, prefix), prefix);
    // The controls show the meter again, not the clicks.
    QTRY_VERIFY_WITH_TIMEOUT(!child<QPushButton>(w, "btnRelState")->isChecked(), LinkTimeoutMs);
    QCOMPARE(child<QComboBox>(w, "cbbLine1Function")->currentText(), QStringLiteral("VOLT"));
}

QTEST_MAIN(TestControlPanel)
#include "tst_controlpanel.moc"
