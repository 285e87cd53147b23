// The driver against the simulated meter through the real transport and the
// VISA layer: open and close, the live cycle and its sampling, a meter that
// goes silent or is unplugged, and closes nested in one another. Only order,
// counts and generous upper bounds are asserted.
#include "commandpool.h"
#include "commandpoolthread.h"
#include "meterlink.h"
#include "varnoktestaccess.h"

#include <QElapsedTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr int LongWaitMs = 20000;
constexpr int SilenceWaitMs = 30000; // three tries of 2 s each, then the close

const QByteArrayList RemotePair{"SYSTem:REMote", "SYSTem:REMote?"};

// Stands in for the main window: logs what the driver announces, in order,
// and owns (deletes) every record it is handed. Ticks of the driver's
// sampling timer are logged too, so that emissions can be put beside them.
class Window : public QObject
{
public:
    explicit Window(Varnok &driver) : driver(driver)
    {
        connect(&driver, &Dmm::opened, this, [this] { events << "opened"; });
        connect(&driver, &Dmm::closed, this, [this] {
            events << "closed";
            if (onClosed)
                onClosed();
        });
        connect(&driver, &Dmm::display, this, [this](const DmmData *data) {
            lastRecord.reset(data);
            events << "display";
            if (onDisplay)
                onDisplay();
        });
        connect(&driver, &Varnok::remoteStateUpdate, this, [this](bool on) {
            events << (on ? "remote on" : "remote off");
            if (!on && onRemoteOff)
                onRemoteOff();
        });
        connect(&driver, &Varnok::communicationTimeout, this, [this] { events << "timeout"; });
        driver.installEventFilter(this);
    }

    int count(const QString &event) const { return events.count(event); }
    int displays() const { return count("display"); }

    // Nothing reaches the window before "opened" or after "closed" but the
    // time-out that explains the close, and "closed" comes once.
    void verifySaneOrder() const
    {
        const QStringList seen = announced();
        QVERIFY2(!seen.isEmpty() && seen.first() == "opened", qPrintable(seen.join(',')));
        QCOMPARE(seen.count("opened"), 1);
        QCOMPARE(seen.count("closed"), 1);
        const int closedAt = seen.indexOf("closed");
        for (int i = closedAt + 1; i < seen.size(); ++i)
            QVERIFY2(seen.at(i) == "timeout", qPrintable(seen.join(',')));
    }

    QStringList announced() const
    {
        QStringList seen = events;
        seen.removeAll("tick");
        return seen;
    }

    QStringList events;
    std::unique_ptr<const DmmData> lastRecord;
    std::function<void()> onDisplay;
    std::function<void()> onClosed;
    std::function<void()> onRemoteOff;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &driver && event->type() == QEvent::Timer)
            events << "tick";
        return false;
    }

private:
    Varnok &driver;
};

// The program's assembly against the simulated meter, with a stand-in window
// and steady inputs.
struct Link : MeterLink
{
    Window window{driver};

    Link()
    {
        meter->setInput(1, {0.123, 1000.0, 0.0});
        meter->setInput(2, {1.2, 50.0, 0.0});
    }

    int sent(const QByteArray &command) const { return log().count(command); }
    // What the meter received, without line feeds.
    QByteArrayList log() const
    {
        QByteArrayList lines;
        for (const std::string &line : meter->commandLog())
            lines << QByteArray::fromStdString(line);
        return lines;
    }
};

// After a close the link holds nothing open and the driver is back at rest.
void verifyClosedClean(Link &link)
{
    QVERIFY(!link.driver.actived());
    QVERIFY(!link.transport.actived());
    QCOMPARE(VarnokTestAccess::state(link.driver), 0);
    QVERIFY(!VarnokTestAccess::liveData(link.driver));
    QCOMPARE(visa::openObjectCount(), std::size_t(0));
}

} // namespace

class TestDriverLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void openStartsRemoteThenStatusThenLive();
    void sampleRateZeroEmitsEveryPass();
    void sampleRateEmitsAtMostOncePerTick();
    void sampleRateChangedWhileOpen();
    void openOnOpenDriverFails();
    void closeOnClosedDriverEmitsNothing();
    void closeDropsOnlyItsOwnLinksCalls();
    void commandsQueuedWhileClosedAreDeletedByNextOpen();
    void silentMeterClosesAndReportsTimeout();
    void unpluggedMeterClosesWithoutWaiting();
    void timeoutDuringCloseIsAbsorbed();
    void closeFromReceivers_data();
    void closeFromReceivers();
    void meterLeavingRemoteIsClosedByReceiver();
    void reconnectEmitsOnlyItsOwnReadings_data();
    void reconnectEmitsOnlyItsOwnReadings();
    void destroyingOpenDriverStopsItsThread();
};

void TestDriverLink::initTestCase()
{
    // Only the meters the tests list themselves.
    qunsetenv("DMMPANEL_SIMULATOR");
}

void TestDriverLink::openStartsRemoteThenStatusThenLive()
{
    Link link;
    QVERIFY(link.driver.open(&link.transport));
    // The transport announced itself inside open(); remote mode comes first.
    QCOMPARE(link.window.events, QStringList{"opened"});
    QCOMPARE(VarnokTestAccess::queued(link.driver), RemotePair);

    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);
    const QByteArrayList log = link.log();
    QCOMPARE(log.mid(0, 2), RemotePair);
    QVERIFY(link.meter->isRemote());
    for (const QByteArray &line : log)
        QVERIFY2(!line.startsWith("BEGIN_") && !line.startsWith("END_"), line.constData());
    // The status pass binds both lines before the first reading is asked for.
    const int firstFetch = log.indexOf("Fetch?");
    QVERIFY(firstFetch > 0);
    QVERIFY(log.indexOf("FUNCtion:LINE1?") >= 0 && log.indexOf("FUNCtion:LINE1?") < firstFetch);
    QVERIFY(log.indexOf("FUNCtion:LINE2?") >= 0 && log.indexOf("FUNCtion:LINE2?") < firstFetch);

    const DmmData &record = *link.window.lastRecord;
    QVERIFY(record.time.isValid());
    const ChannelData *line1 = record.lines.at(0)->channel;
    QVERIFY(line1);
    QCOMPARE(line1->number, 1);
    QCOMPARE(line1->functions.at(0), QStringLiteral("VOLT"));
    QCOMPARE(line1->valueModes.at(0), int(DmmData::ValueNormal));
    QCOMPARE(line1->unitTexts.at(0), QStringLiteral("mV"));
    QVERIFY(!line1->valueTexts.at(0).isEmpty());
}

void TestDriverLink::sampleRateZeroEmitsEveryPass()
{
    Link link;
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 4, LongWaitMs);
    // Between two hand-overs every live pass that reached its end emitted;
    // at most the pass under way has asked for its reading without ending.
    const int fetches = link.sent("Fetch?");
    const int displays = link.window.displays();
    QVERIFY2(displays == fetches || displays == fetches - 1,
             qPrintable(QStringLiteral("%1 displays, %2 passes").arg(displays).arg(fetches)));
    QCOMPARE(link.window.count("tick"), 0);
}

void TestDriverLink::sampleRateEmitsAtMostOncePerTick()
{
    Link link;
    link.driver.setSampleRate(1000); // while closed: only stored
    QCOMPARE(link.driver.getSampleRate(), 1000);
    QTest::qWait(50);
    QCOMPARE(link.window.count("tick"), 0);

    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 3, LongWaitMs);
    link.driver.close();

    // The first pass end emits without waiting for a tick; every later
    // emission needs a tick of its own since the one before.
    const QStringList &events = link.window.events;
    int ticksSinceDisplay = 1;
    for (const QString &event : events) {
        if (event == "tick") {
            ++ticksSinceDisplay;
        } else if (event == "display") {
            QVERIFY2(ticksSinceDisplay > 0, qPrintable(events.join(',')));
            ticksSinceDisplay = 0;
        }
    }
    // Passes in between are still made, just not emitted.
    QVERIFY(link.sent("Fetch?") >= link.window.displays());
    verifyClosedClean(link);
}

void TestDriverLink::sampleRateChangedWhileOpen()
{
    Link link;
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);

    // A long period takes effect at once: passes go on, emissions wait for
    // a tick that is minutes away.
    link.driver.setSampleRate(600000);
    const int displays = link.window.displays();
    const int fetches = link.sent("Fetch?");
    QTRY_VERIFY_WITH_TIMEOUT(link.sent("Fetch?") >= fetches + 3, LongWaitMs);
    QCOMPARE(link.window.displays(), displays);

    // Back to every pass.
    link.driver.setSampleRate(0);
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= displays + 2, LongWaitMs);
    QCOMPARE(link.window.count("tick"), 0);
}

void TestDriverLink::openOnOpenDriverFails()
{
    Link link;
    Tessaly other;
    QVERIFY(link.driver.open(&link.transport));
    QVERIFY(!link.driver.open(&link.transport));
    QVERIFY(!link.driver.open(&other));
    QVERIFY(!link.driver.open(nullptr));
    QVERIFY(!other.actived());
    QCOMPARE(link.window.events, QStringList{"opened"});
    QCOMPARE(VarnokTestAccess::queued(link.driver), RemotePair);

    // Still the same working connection.
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 2, LongWaitMs);
    QCOMPARE(link.sent("SYSTem:REMote"), 1);
    link.driver.close();
    link.window.verifySaneOrder();
    verifyClosedClean(link);
}

void TestDriverLink::closeOnClosedDriverEmitsNothing()
{
    Link link;
    link.driver.close();
    QVERIFY(link.window.events.isEmpty());
    QCOMPARE(VarnokTestAccess::state(link.driver), 0);

    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);
    link.driver.close();
    // The grace period lets "SYSTem:LOCal" reach the meter.
    QCOMPARE(link.log().last(), QByteArray("SYSTem:LOCal"));
    QVERIFY(!link.meter->isRemote());
    verifyClosedClean(link);

    const QStringList before = link.window.events;
    link.driver.close();
    QCOMPARE(link.window.events, before);
    QCOMPARE(VarnokTestAccess::state(link.driver), 0);
    link.window.verifySaneOrder();
}

// A close drops what its own link still had on the way, not a call someone
// else queued for the driver.
void TestDriverLink::closeDropsOnlyItsOwnLinksCalls()
{
    Link link;
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);
    bool delivered = false;
    QMetaObject::invokeMethod(&link.driver, [&delivered] { delivered = true; }, Qt::QueuedConnection);
    link.driver.close();
    verifyClosedClean(link);
    QTRY_VERIFY_WITH_TIMEOUT(delivered, LongWaitMs);
    link.window.verifySaneOrder();
}

void TestDriverLink::commandsQueuedWhileClosedAreDeletedByNextOpen()
{
    Link link;
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);
    link.driver.close();

    link.driver.sendCmd("MEMory:STORe", false);
    link.driver.cmdSetHold(true);
    QCOMPARE(VarnokTestAccess::queued(link.driver).size(), 2);

    // A new connection starts with remote mode only, and lives like the first.
    QVERIFY(link.driver.open(&link.transport));
    QCOMPARE(VarnokTestAccess::queued(link.driver), RemotePair);
    const int displays = link.window.displays();
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() > displays, LongWaitMs);
    QCOMPARE(link.sent("MEMory:STORe"), 0);
    QCOMPARE(link.sent("SENSe:HOLD:STATe ON"), 0);
    QCOMPARE(link.sent("SYSTem:REMote"), 2);
    link.driver.close();
    verifyClosedClean(link);
}

void TestDriverLink::silentMeterClosesAndReportsTimeout()
{
    Link link;
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);
    link.meter->goSilentAfter(0);

    QTRY_VERIFY_WITH_TIMEOUT(link.window.count("timeout") >= 1, SilenceWaitMs);
    // The pacing thread noticed the same silence; it must not report again.
    QTest::qWait(200);
    QCOMPARE(link.window.count("timeout"), 1);
    QCOMPARE(link.window.announced().last(), QStringLiteral("timeout"));
    link.window.verifySaneOrder();
    verifyClosedClean(link);
}

void TestDriverLink::unpluggedMeterClosesWithoutWaiting()
{
    Link link;
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);

    QElapsedTimer clock;
    clock.start();
    link.meter->unplug();
    QTRY_VERIFY_WITH_TIMEOUT(link.window.count("timeout") >= 1, LongWaitMs);
    // Failed calls are noticed at once: the close (with its 500 ms grace)
    // is done before the pacing thread's 3000 ms answer limit could matter.
    QVERIFY2(clock.elapsed() < CommandPoolThread::AnswerTimeout.count(), qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(200);
    QCOMPARE(link.window.count("timeout"), 1);
    link.window.verifySaneOrder();
    verifyClosedClean(link);
}

void TestDriverLink::timeoutDuringCloseIsAbsorbed()
{
    Link link;
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);

    // A time-out queued by the pacing thread reaches the driver during the
    // grace period of a close already under way.
    QMetaObject::invokeMethod(&link.driver, &Varnok::slotCommunicationTimeout, Qt::QueuedConnection);
    link.driver.close();
    QCOMPARE(link.window.count("timeout"), 0);
    link.window.verifySaneOrder();
    verifyClosedClean(link);

    // The driver opens again as new.
    const int displays = link.window.displays();
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() > displays, LongWaitMs);
}

void TestDriverLink::closeFromReceivers_data()
{
    QTest::addColumn<QString>("closer");
    QTest::newRow("display") << "display";
    QTest::newRow("closed") << "closed";
    QTest::newRow("display and closed") << "both";
}

// The window may close the driver from its slots, also while a close is
// under way; each path ends in one clean close.
void TestDriverLink::closeFromReceivers()
{
    QFETCH(QString, closer);
    Link link;
    Varnok &driver = link.driver;
    if (closer != "closed")
        link.window.onDisplay = [&driver] { driver.close(); };
    if (closer != "display")
        link.window.onClosed = [&driver] { driver.close(); };

    QVERIFY(driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);
    if (closer == "closed")
        driver.close();
    QTRY_VERIFY_WITH_TIMEOUT(link.window.count("closed") >= 1, LongWaitMs);
    QTest::qWait(100);
    link.window.verifySaneOrder();
    QCOMPARE(link.window.count("timeout"), 0);
    verifyClosedClean(link);
}

void TestDriverLink::meterLeavingRemoteIsClosedByReceiver()
{
    Link link;
    Varnok &driver = link.driver;
    link.window.onRemoteOff = [&driver] { driver.close(); };
    QVERIFY(driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);

    // The LOCAL key: the next remote query reads "NO", and the window closes
    // the driver from inside the handling of that answer.
    link.meter->pressLocal();
    QTRY_VERIFY_WITH_TIMEOUT(link.window.count("closed") >= 1, LongWaitMs);
    QTest::qWait(100);
    const QStringList seen = link.window.announced();
    QCOMPARE(seen.at(seen.size() - 2), QStringLiteral("remote off"));
    QCOMPARE(seen.last(), QStringLiteral("closed"));
    link.window.verifySaneOrder();
    verifyClosedClean(link);
}

void TestDriverLink::reconnectEmitsOnlyItsOwnReadings_data()
{
    QTest::addColumn<int>("resumeAt"); // index into the live cycle
    const char *const cycle[] = {"BEGIN_LIVE", "SYSTem:REMote?", "Fetch?", "VOLTage:RANGe:CH1?", "VOLTage:RANGe:CH2?",
                                 "END_LIVE"};
    for (int at = 0; at < 6; ++at)
        QTest::addRow("resumes at %s", cycle[at]) << at;
}

// The live cycle keeps its place across a reconnect, wherever the last link
// ended; no pass end may emit before this connection has a reading of its own.
void TestDriverLink::reconnectEmitsOnlyItsOwnReadings()
{
    QFETCH(int, resumeAt);
    Link link;
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(link.window.displays() >= 1, LongWaitMs);
    link.driver.close();
    LoopCommandPool &loop = VarnokTestAccess::loopPool(link.driver);
    loop.reset();
    for (int i = 0; i < resumeAt; ++i)
        loop.next();

    QList<double> frequencies; // of CH1, which has a steady 1 kHz
    link.window.onDisplay = [&] { frequencies << link.window.lastRecord->channels[0]->frequency; };
    QVERIFY(link.driver.open(&link.transport));
    QTRY_VERIFY_WITH_TIMEOUT(frequencies.size() >= 2, LongWaitMs);
    link.driver.close();
    for (const double frequency : qAsConst(frequencies))
        QCOMPARE(frequency, 1000.0);
}

void TestDriverLink::destroyingOpenDriverStopsItsThread()
{
    auto meter = std::make_shared<dmmsim::SimulatedMeter>();
    visa::addInProcessInstrument(meter);
    {
        Tessaly transport;
        auto driver = std::make_unique<Varnok>();
        int displays = 0;
        connect(driver.get(), &Dmm::display, this, [&displays](const DmmData *data) {
            delete data;
            ++displays;
        });
        QVERIFY(driver->open(&transport));
        QTRY_VERIFY_WITH_TIMEOUT(displays >= 1, LongWaitMs);
        driver.reset(); // not closed: the transport stays open until it goes
        QVERIFY(transport.actived());
        QTest::qWait(100); // nothing queued for the driver may arrive now
    }
    QCOMPARE(visa::openObjectCount(), std::size_t(0));
    visa::removeInProcessInstrument(meter.get());
}

QTEST_GUILESS_MAIN(TestDriverLink)
#include "tst_driverlink.moc"
