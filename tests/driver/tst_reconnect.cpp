// The reconnect logic over the driver and the transport, against the
// simulated meter: a pulled cable and a silence it comes back from, and the
// closes that must not bring it back. Order and counts only; waits are long.
#include "meterlink.h"
#include "reconnector.h"

#include <QtTest>

namespace {

constexpr int SilenceWaitMs = 30000; // three tries of 2 s, the close, a retry

enum class Ending { Unplug, Silence, Disconnect, Local, StopWhileAway };

} // namespace

class TestReconnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(MeterLink().noKernelDevices.isValid()); }

    void linkEnds_data()
    {
        QTest::addColumn<int>("ending");
        QTest::addColumn<bool>("comesBack");
        QTest::newRow("unplugged and plugged back") << int(Ending::Unplug) << true;
        QTest::newRow("silent, then answering") << int(Ending::Silence) << true;
        QTest::newRow("disconnected by hand") << int(Ending::Disconnect) << false;
        QTest::newRow("meter switched to local") << int(Ending::Local) << false;
        QTest::newRow("stopped while the meter is away") << int(Ending::StopWhileAway) << false;
    }
    void linkEnds()
    {
        QFETCH(int, ending);
        QFETCH(bool, comesBack);
        MeterLink link;
        Reconnector keeper(link.driver, link.transport);
        RecordKeeper readings(link.driver, &Dmm::display);
        QStringList events;
        QDateTime lostAt;
        QDateTime backAt;
        connect(&link.driver, &Dmm::opened, &keeper, [&] { events << "opened"; });
        connect(&link.driver, &Dmm::closed, &keeper, [&] { events << "closed"; });
        connect(&keeper, &Reconnector::linkLost, &keeper, [&](const QDateTime &at) {
            events << "lost";
            lostAt = at;
        });
        connect(&keeper, &Reconnector::linkRestored, &keeper, [&](const QDateTime &from, const QDateTime &to) {
            events << "restored";
            QCOMPARE(from, lostAt);
            backAt = to;
        });
        // As the window does: local mode is the user's choice, it ends the watch.
        connect(&link.driver, &Varnok::remoteStateUpdate, &keeper, [&](bool remote) {
            if (!remote) {
                keeper.stop();
                link.driver.close();
            }
        });

        QVERIFY(!keeper.start()); // nothing open to watch
        QVERIFY(link.open());
        QVERIFY(keeper.start());
        QVERIFY(link.waitForLivePasses(2));
        QTRY_VERIFY_WITH_TIMEOUT(readings.records.size() >= 1, LinkWaitMs);

        switch (Ending(ending)) {
        case Ending::Unplug:
            link.meter->replugAfter(std::chrono::milliseconds(1500));
            link.meter->unplug();
            break;
        case Ending::Silence:
            link.meter->answerAgainAfter(std::chrono::milliseconds(3000));
            link.meter->goSilentAfter(0);
            break;
        case Ending::Disconnect:
            link.driver.close();
            break;
        case Ending::Local:
            link.meter->pressLocal();
            break;
        case Ending::StopWhileAway:
            link.meter->replugAfter(std::chrono::milliseconds(500));
            link.meter->unplug();
            QTRY_VERIFY_WITH_TIMEOUT(keeper.isReconnecting(), LinkWaitMs);
            keeper.stop();
            break;
        }
        QTRY_VERIFY_WITH_TIMEOUT(events.contains("closed"), SilenceWaitMs);

        if (!comesBack) {
            // Well past a retry and the meter's return: nothing reopens.
            QTest::qWait(int(Reconnector::RetryInterval.count()) * 2 + 500);
            QVERIFY(!link.driver.actived());
            QVERIFY(!keeper.isReconnecting());
            QCOMPARE(events.count("opened"), 1);
            QCOMPARE(events.count("restored"), 0);
            QCOMPARE(events.count("lost"), ending == int(Ending::StopWhileAway) ? 1 : 0);
            return;
        }

        QTRY_VERIFY_WITH_TIMEOUT(events.contains("restored"), SilenceWaitMs * 2);
        QCOMPARE(events.count("lost"), 1);
        QVERIFY2(events.indexOf("lost") < events.lastIndexOf("opened"), qPrintable(events.join(',')));
        QVERIFY(lostAt <= backAt);
        QVERIFY(link.driver.actived());
        QVERIFY(keeper.isWatching() && !keeper.isReconnecting());
        // Readings go on after the gap, later than every reading before it.
        const std::size_t before = readings.records.size();
        QTRY_VERIFY_WITH_TIMEOUT(readings.records.size() >= before + 2, LinkWaitMs);
        for (std::size_t i = 1; i < readings.records.size(); ++i)
            QVERIFY(readings.records[i - 1]->time <= readings.records[i]->time);
        keeper.stop();
        link.driver.close();
        QVERIFY(!link.driver.actived());
    }
};

QTEST_GUILESS_MAIN(TestReconnect)
#include "tst_reconnect.moc"
