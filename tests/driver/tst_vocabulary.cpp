// Every control operation and query of the driver, observed where it ends up:
// at the simulated meter, after the pools, the pacing thread, the transport
// and the VISA layer. Each text must arrive once, with exactly one line feed.
#include "meterlink.h"

#include <QtTest>

#include <algorithm>
#include <functional>

using Operation = std::function<bool(Varnok &)>;
Q_DECLARE_METATYPE(Operation)

class TestVocabulary : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void textReachesTheMeter_data();
    void textReachesTheMeter();

private:
    std::unique_ptr<MeterLink> link;
    std::unique_ptr<QSignalSpy> timeouts;
};

void TestVocabulary::initTestCase()
{
    link = std::make_unique<MeterLink>();
    link->meter->fillMemory(12); // the upload query needs a record 7 to answer
    timeouts = std::make_unique<QSignalSpy>(&link->driver, &Varnok::communicationTimeout);
    QVERIFY(link->open());
    QVERIFY(link->waitForLivePasses(1));
}

void TestVocabulary::cleanupTestCase()
{
    QCOMPARE(timeouts->count(), 0);
    timeouts.reset();
    link.reset();
}

void TestVocabulary::textReachesTheMeter_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArray>("text");

    const auto row = [](const char *name, Operation op, const char *text) {
        QTest::newRow(name) << std::move(op) << QByteArray(text);
    };
    // Set and change operations.
    row("function, channel only", [](Varnok &d) { return d.cmdChangeFunction(2, 1, QString()); }, "FUNCtion:LINE2 CH1");
    row("function with option", [](Varnok &d) { return d.cmdChangeFunction(1, 2, "DB"); }, "FUNCtion:LINE1 CH2,DB");
    row("range", [](Varnok &d) { return d.cmdChangeRange(1, "AUTO"); }, "VOLTage:RANGe:CH1 AUTO");
    row("rate", [](Varnok &d) { return d.cmdChangeRate("FAST"); }, "VOLTage:RATE FAST");
    row("dB reference 1.2e-05", [](Varnok &d) { return d.cmdSetDBRef(1, 0.000012); }, "SENSe:DB:REFerence:CH1 1.2e-05");
    row("dB reference 0.775", [](Varnok &d) { return d.cmdSetDBRef(2, 0.775); }, "SENSe:DB:REFerence:CH2 0.775");
    row("dBm reference", [](Varnok &d) { return d.cmdSetDBMRef(2, 600); }, "SENSe:DBM:REFerence:CH2 600");
    row("REL on", [](Varnok &d) { return d.cmdSetRelState(true); }, "SENSe:REL:STATe ON");
    row("REL off", [](Varnok &d) { return d.cmdSetRelState(false); }, "SENSe:REL:STATe OFF");
    row("REL reference 1e+06", [](Varnok &d) { return d.cmdSetRelRef(1e6); }, "SENSe:REL:REFerence 1e+06");
    row("REL reference 0.5", [](Varnok &d) { return d.cmdSetRelRef(0.5); }, "SENSe:REL:REFerence 0.5");
    row("HOLD off", [](Varnok &d) { return d.cmdSetHold(false); }, "SENSe:HOLD:STATe OFF");
    row("hold window 1.5%", [](Varnok &d) { return d.cmdSetHoldWindow(1.5); }, "SENSe:HOLD:WINDow 1.5%");
    row("hold count", [](Varnok &d) { return d.cmdSetHoldCount(2); }, "SENSe:HOLD:COUNt 2");
    row("percent on", [](Varnok &d) { return d.cmdSetPercentState(true); }, "CALCulate:PERCent:STATe ON");
    row("percent off", [](Varnok &d) { return d.cmdSetPercentState(false); }, "CALCulate:PERCent:STATe OFF");
    row("percent reference 1.23457e+06", [](Varnok &d) { return d.cmdSetPercentRef(1234567); }, "CALCulate:PERCent:REFerence 1.23457e+06");
    row("MAX/MIN on", [](Varnok &d) { return d.cmdSetMaxMinState(true); }, "CALCulate:MAXMin:STATe ON");
    row("compare off", [](Varnok &d) { return d.cmdSetCompareState(false); }, "CALCulate:COMPare:STATe OFF");
    row("compare lower -0.25", [](Varnok &d) { return d.cmdSetCompareLower(-0.25); }, "CALCulate:COMPare:LOWer -0.25");
    row("compare upper 10", [](Varnok &d) { return d.cmdSetCompareUpper(10); }, "CALCulate:COMPare:UPPer 10");
    row("trigger source", [](Varnok &d) { return d.cmdSetTriggerSource("IMM"); }, "TRIGger:SOURce IMM");
    row("floating", [](Varnok &d) { return d.cmdSetFloat(1, true); }, "SYSTem:FLOAt:CH1 ON");
    row("local", [](Varnok &d) { return d.cmdSetLocal(); }, "SYSTem:LOCal");
    row("remote", [](Varnok &d) { return d.cmdSetRemote(); }, "SYSTem:REMote");
    row("store a reading", [](Varnok &d) { return d.cmdSetMemoryStore(); }, "MEMory:STORe");

    // Queries.
    row("get function", [](Varnok &d) { return d.cmdGetFunction(1); }, "FUNCtion:LINE1?");
    row("get range", [](Varnok &d) { return d.cmdGetRange(2); }, "VOLTage:RANGe:CH2?");
    row("get rate", [](Varnok &d) { return d.cmdGetRate(); }, "VOLTage:RATE?");
    row("get dB reference", [](Varnok &d) { return d.cmdGetDBRef(2); }, "SENSe:DB:REFerence:CH2?");
    row("get dBm reference", [](Varnok &d) { return d.cmdGetDBMRef(1); }, "SENSe:DBM:REFerence:CH1?");
    row("get REL", [](Varnok &d) { return d.cmdGetRelState(); }, "SENSe:REL:STATe?");
    row("get REL reference", [](Varnok &d) { return d.cmdGetRelRef(); }, "SENSe:REL:REFerence?");
    row("get HOLD", [](Varnok &d) { return d.cmdGetHoldState(); }, "SENSe:HOLD:STATe?");
    row("get hold window", [](Varnok &d) { return d.cmdGetHoldWindow(); }, "SENSe:HOLD:WINDow?");
    row("get hold count", [](Varnok &d) { return d.cmdGetHoldCount(); }, "SENSe:HOLD:COUNt?");
    row("get percent", [](Varnok &d) { return d.cmdGetPercentState(); }, "CALCulate:PERCent:STATe?");
    row("get percent reference", [](Varnok &d) { return d.cmdGetPercentRef(); }, "CALCulate:PERCent:REFerence?");
    row("get percent reading", [](Varnok &d) { return d.cmdGetPercentValue(); }, "CALCulate:PERCent:READ?");
    row("get MAX/MIN", [](Varnok &d) { return d.cmdGetMaxMinState(); }, "CALCulate:MAXMin:STATe?");
    row("get MAX/MIN values", [](Varnok &d) { return d.cmdGetMaxMinValue(); }, "CALCulate:MAXMin:ALL?");
    row("get compare", [](Varnok &d) { return d.cmdGetCompareState(); }, "CALCulate:COMPare:STATe?");
    row("get compare lower", [](Varnok &d) { return d.cmdGetCompareLower(); }, "CALCulate:COMPare:LOWer?");
    row("get compare upper", [](Varnok &d) { return d.cmdGetCompareUpper(); }, "CALCulate:COMPare:UPPer?");
    row("get trigger source", [](Varnok &d) { return d.cmdGetTriggerSrouce(); }, "TRIGger:SOURce?");
    row("get floating", [](Varnok &d) { return d.cmdGetFloat(2); }, "SYSTem:FLOAt:CH2?");
    row("get remote", [](Varnok &d) { return d.cmdGetRemote(); }, "SYSTem:REMote?");
    row("get stored count", [](Varnok &d) { return d.cmdGetMemoryStore(); }, "MEMory:STORe?");
    row("upload", [](Varnok &d) { return d.cmdMemoryUpload(7); }, "MEMory:UPLoad? 7");

    // Deleting last: the upload above needs the records.
    row("delete one", [](Varnok &d) { return d.cmdMemoryDelete(12); }, "MEMory:DELete 12");
    row("delete ALL", [](Varnok &d) { return d.cmdMemoryDelete(0); }, "MEMory:DELete ALL");
}

void TestVocabulary::textReachesTheMeter()
{
    QFETCH(Operation, operation);
    QFETCH(QByteArray, text);
    const QByteArray sent = text + '\n';

    const int mark = link->writeCount();
    QVERIFY(operation(link->driver));
    QVERIFY2(link->waitForWrite(sent, mark), text.constData());
    // Two more commands after it: a set command sent as a query would have
    // been tried again by now, after its answer failed to come.
    const auto after = [&] {
        const QByteArrayList writes = link->writesFrom(mark);
        return writes.size() - writes.indexOf(sent) - 1;
    };
    QVERIFY(QTest::qWaitFor([&] { return after() >= 2; }, LinkWaitMs));

    const QByteArrayList writes = link->writesFrom(mark);
    if (!livePassTexts().contains(sent)) // the live cycle asks these too
        QCOMPARE(writes.count(sent), 1);
    for (const QByteArray &write : writes)
        QVERIFY2(write == sent || livePassTexts().contains(write), write.constData());

    const std::vector<std::string> log = link->meter->commandLog();
    QVERIFY(std::find(log.begin(), log.end(), text.toStdString()) != log.end());
    QCOMPARE(timeouts->count(), 0);
}

QTEST_GUILESS_MAIN(TestVocabulary)
#include "tst_vocabulary.moc"
