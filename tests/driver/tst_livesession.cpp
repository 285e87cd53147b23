// A session with the simulated meter from open on: what the meter receives and
// in which order, what the live record then holds, how remote-state changes
// are reported, and the extra remote query of every sixth live pass.
#include "meterlink.h"
#include "varnoktestaccess.h"

#include <QtTest>

namespace {

const QByteArrayList statusQueries{
    "FUNCtion:LINE1?\n",         "FUNCtion:LINE2?\n",          "VOLTage:RATE?\n",
    "VOLTage:RANGe:CH1?\n",      "VOLTage:RANGe:CH2?\n",       "SENSe:DB:REFerence:CH1?\n",
    "SENSe:DB:REFerence:CH2?\n", "SENSe:DBM:REFerence:CH1?\n", "SENSe:DBM:REFerence:CH2?\n",
    "SENSe:REL:STATe?\n",        "SENSe:REL:REFerence?\n",     "SENSe:HOLD:WINDow?\n",
    "SENSe:HOLD:COUNt?\n",       "SENSe:HOLD:STATe?\n",        "CALCulate:PERCent:STATe?\n",
    "CALCulate:PERCent:REFerence?\n", "CALCulate:PERCent:READ?\n", "CALCulate:MAXMin:STATe?\n",
    "CALCulate:MAXMin:ALL?\n",   "CALCulate:COMPare:STATe?\n", "CALCulate:COMPare:LOWer?\n",
    "CALCulate:COMPare:UPPer?\n", "SYSTem:REMote?\n",          "TRIGger:SOURce?\n",
    "SYSTem:FLOAt:CH1?\n",       "SYSTem:FLOAt:CH2?\n",        "MEMory:STORe?\n",
};

// Live traffic split into passes; for each pass whether it began with the
// extra remote query. Fails (empty result) on traffic that is no live pass.
QList<bool> livePasses(const QByteArrayList &writes, int count)
{
    QList<bool> passes;
    QByteArrayList extra{"SYSTem:REMote?\n"};
    extra << livePassTexts();
    int at = 0;
    while (passes.size() < count) {
        if (writes.mid(at, livePassTexts().size()) == livePassTexts()) {
            passes << false;
            at += livePassTexts().size();
        } else if (writes.mid(at, extra.size()) == extra) {
            passes << true;
            at += extra.size();
        } else {
            return {};
        }
    }
    return passes;
}

} // namespace

class TestLiveSession : public QObject
{
    Q_OBJECT
private slots:
    void openOrderAndLiveRecord_data() { lineEnds(); }
    void openOrderAndLiveRecord();
    void remoteStateChangesReportedOnce_data() { lineEnds(); }
    void remoteStateChangesReportedOnce();
    void localAtConnectReportedOncePerConnection_data() { lineEnds(); }
    void localAtConnectReportedOncePerConnection();
    void everySixthPassAsksForRemote();

private:
    // The meter ends its answers in a line feed, or in CR LF.
    static void lineEnds()
    {
        QTest::addColumn<bool>("crlf");
        QTest::newRow("LF") << false;
        QTest::newRow("CR LF") << true;
    }
};

void TestLiveSession::openOrderAndLiveRecord()
{
    QFETCH(bool, crlf);
    MeterLink link;
    link.meter->setCrLfAnswers(crlf);
    // The meter as someone left it at its front panel.
    for (const char *setting :
         {"FUNCtion:LINE1 CH2,DBM", "FUNCtion:LINE2 CH1,WATT", "VOLTage:RANGe:CH1 3.7V", "VOLTage:RATE SLOW",
          "SENSe:DB:REFerence:CH1 0.775", "SENSe:DBM:REFerence:CH2 50", "SENSe:REL:REFerence 0.5",
          "SENSe:REL:STATe ON", "SENSe:HOLD:WINDow 0.5%", "SENSe:HOLD:COUNt 5", "SENSe:HOLD:STATe ON",
          "CALCulate:PERCent:REFerence 2", "CALCulate:MAXMin:STATe ON", "CALCulate:COMPare:LOWer 0.1",
          "CALCulate:COMPare:UPPer 0.2", "CALCulate:COMPare:STATe ON", "TRIGger:SOURce IMM",
          "SYSTem:FLOAt:CH2 ON"})
        QCOMPARE(link.meter->write(std::string(setting) + '\n'), VI_SUCCESS);
    link.meter->fillMemory(3);

    RecordKeeper keeper(link.driver, &Dmm::display);
    QVERIFY(link.open());
    QVERIFY(link.waitForLivePasses(3));
    QVERIFY(QTest::qWaitFor([&] { return keeper.records.size() >= 2; }, LinkWaitMs));

    const QByteArrayList writes = link.writes();
    QCOMPARE(writes.mid(0, 2), (QByteArrayList{"SYSTem:REMote\n", "SYSTem:REMote?\n"}));
    QCOMPARE(writes.mid(2, statusQueries.size()), statusQueries);
    QVERIFY(!livePasses(writes.mid(2 + statusQueries.size()), 2).isEmpty());

    const DmmData &live = *VarnokTestAccess::liveData(link.driver);
    const LineData &line1 = *live.lines[0];
    const ChannelData &ch1 = *live.channels[0];
    const ChannelData &ch2 = *live.channels[1];
    QCOMPARE(line1.channel, &ch2);
    QCOMPARE(live.lines[1]->channel, &ch1);
    QCOMPARE(ch2.functions[0], QStringLiteral("DBM"));
    QCOMPARE(ch1.functions[1], QStringLiteral("WATT"));
    QCOMPARE(ch1.rangeMode, QStringLiteral("MANU"));
    QCOMPARE(ch1.rangeValue + ch1.rangeUnit, QStringLiteral("3.8V"));
    QCOMPARE(ch2.rangeMode, QStringLiteral("AUTO"));
    QVERIFY(!ch2.rangeUnit.isEmpty());
    QCOMPARE(live.rate, QStringLiteral("SLOW"));
    QCOMPARE(live.triggerSource, QStringLiteral("IMM"));
    QCOMPARE(ch1.dbReference, 0.775);
    QCOMPARE(ch2.dbmReference, 50.0);
    QCOMPARE(ch1.floating, false);
    QCOMPARE(ch2.floating, true);
    QCOMPARE(line1.relState, true);
    QCOMPARE(line1.relReference, 0.5);
    QCOMPARE(line1.holdState, true);
    QCOMPARE(line1.holdWindow, 0.5);
    QCOMPARE(line1.holdCount, 5);
    QCOMPARE(line1.percentState, false);
    QCOMPARE(line1.percentReference, 2.0);
    QCOMPARE(line1.maxMinState, true);
    QVERIFY2(QStringList({"HI", "IN", "LO"}).contains(line1.compareState), qPrintable(line1.compareState));
    QCOMPARE(line1.compareLower, 0.1);
    QCOMPARE(line1.compareUpper, 0.2);
    QCOMPARE(VarnokTestAccess::storeParam(link.driver).total, 3);

    // What the window is shown: readings with texts and the units of their functions.
    const DmmData &shown = *keeper.last();
    QCOMPARE(shown.lines[0]->channel->unitTexts[0], QStringLiteral("dBm"));
    QVERIFY(shown.lines[1]->channel->unitTexts[1].endsWith(QLatin1Char('W')));
    QVERIFY(!shown.lines[0]->channel->valueTexts[0].isEmpty());
    QVERIFY(!shown.lines[1]->channel->valueTexts[1].isEmpty());
    QCOMPARE(shown.channels[0]->frequencyUnit.right(2), QStringLiteral("Hz"));
    QVERIFY(shown.time.isValid());
}

void TestLiveSession::remoteStateChangesReportedOnce()
{
    QFETCH(bool, crlf);
    MeterLink link;
    link.meter->setCrLfAnswers(crlf);
    QSignalSpy remote(&link.driver, &Varnok::remoteStateUpdate);
    QVERIFY(link.open());
    QVERIFY(link.waitForLivePasses(3));
    QCOMPARE(remote.count(), 1);
    QCOMPARE(remote.at(0).at(0).toBool(), true);

    // The LOCAL key, pressed a few commands into the live cycle.
    link.meter->pressLocalAfter(3);
    QVERIFY(QTest::qWaitFor([&] { return remote.count() >= 2; }, LinkWaitMs));
    QCOMPARE(remote.at(1).at(0).toBool(), false);
    const int mark = link.writeCount();
    QVERIFY(link.waitForWrite("SYSTem:REMote?\n", mark, 3));
    QCOMPARE(remote.count(), 2);

    // Closing reports nothing; reopening puts the meter back into remote.
    link.driver.close();
    QCOMPARE(remote.count(), 2);
    QVERIFY(link.open());
    QVERIFY(QTest::qWaitFor([&] { return remote.count() >= 3; }, LinkWaitMs));
    QCOMPARE(remote.at(2).at(0).toBool(), true);
    QVERIFY(link.waitForWrite("SYSTem:REMote?\n", link.writeCount(), 3));
    QCOMPARE(remote.count(), 3);
    QVERIFY(link.meter->isRemote());

    // Closing puts the meter back into local operation without a report.
    link.driver.close();
    QVERIFY(!link.meter->isRemote());
    QTest::qWait(200);
    QCOMPARE(remote.count(), 3);
}

// LOCAL pressed before the first remote query of a connection: no change from
// the state last known, and still reported, once per connection.
void TestLiveSession::localAtConnectReportedOncePerConnection()
{
    QFETCH(bool, crlf);
    MeterLink link;
    link.meter->setCrLfAnswers(crlf);
    QSignalSpy remote(&link.driver, &Varnok::remoteStateUpdate);
    for (int connection = 1; connection <= 2; ++connection) {
        link.meter->pressLocalAfter(1); // right after "SYSTem:REMote"
        const int mark = link.writeCount();
        QVERIFY(link.open());
        QVERIFY(link.waitForWrite("Fetch?\n", mark, 3));
        QCOMPARE(remote.count(), connection);
        QCOMPARE(remote.last().at(0).toBool(), false);
        link.driver.close();
    }
}

void TestLiveSession::everySixthPassAsksForRemote()
{
    MeterLink link;
    QVERIFY(link.open());
    constexpr int passes = 20;
    QVERIFY(link.waitForLivePasses(passes + 1)); // the last one complete

    const QList<bool> extra = livePasses(link.writes().mid(2 + statusQueries.size()), passes);
    QCOMPARE(extra.size(), passes);
    // The pass counter lives as long as the process: the first extra query
    // comes within six passes, then on every sixth.
    QList<int> at;
    for (int i = 0; i < extra.size(); ++i) {
        if (extra[i])
            at << i;
    }
    QVERIFY(at.size() >= 3);
    QVERIFY(at.first() < 6);
    for (int i = 1; i < at.size(); ++i)
        QCOMPARE(at[i] - at[i - 1], 6);
}

QTEST_GUILESS_MAIN(TestLiveSession)
#include "tst_livesession.moc"
