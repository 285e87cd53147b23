// The kernel path for real: dmmgadget puts the simulated meter on a USB bus
// (dummy_hcd in a virtual machine, see scripts/usb-vm-test.sh), the kernel's
// usbtmc driver binds it, and the VISA layer reaches it through /dev/usbtmcN.
// Needs root, the USB gadget modules and a device controller: run only there.

#include "gadgetprocess.h"
#include "inprocessinstrument.h"
#include "visa.h"
#include "reconnector.h"
#include "simulatedmeter.h"
#include "tessaly.h"
#include "varnok.h"
#include "visaquerytool.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <thread>
#include <sstream>

namespace {

// Generous bounds: the virtual machine may run on plain emulation.
constexpr int LinkWaitMs = 60000;

QString elapsedText(const QElapsedTimer &clock)
{
    return QString::number(clock.elapsed()) + " ms";
}

int threadCount()
{
    return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

} // namespace

class TestUsbKernel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QDir("/sys/class/udc").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() > 0,
                 "no USB device controller: load dummy_hcd");
        QVERIFY2(m_gadget.start(), "the gadget did not appear as a USBTMC device");
    }

    void cleanupTestCase() { QVERIFY(m_gadget.stop()); }

    void init() { QCOMPARE(viOpenDefaultRM(&m_rm), VI_SUCCESS); }
    void cleanup()
    {
        viClose(m_rm);
        QCOMPARE(visa::openObjectCount(), std::size_t(0));
    }

    void listFindsTheMeter()
    {
        std::ostringstream out, err;
        QCOMPARE(runVisaQuery({"--list"}, out, err), 0);
        QVERIFY2(QString::fromStdString(out.str()).split('\n').contains(GadgetProcess::Resource),
                 out.str().c_str());
    }

    void queryRoundTrip()
    {
        std::ostringstream out, err;
        QCOMPARE(runVisaQuery({"SYSTem:REMote", "SYSTem:REMote?", "FUNCtion:LINE1 CH2,DBM", "FUNCtion:LINE1?"}, out, err),
                 0);
        QCOMPARE(QString::fromStdString(out.str()), QString("YES\nCH2,DBM\n"));
        QVERIFY(GadgetProcess::commandLog().contains("FUNCtion:LINE1 CH2,DBM"));
    }

    // Queries whose answers differ from one to the next, so that a stale or
    // lost answer shows as the wrong one.
    void thousandQueriesInARow()
    {
        const ViSession meter = openMeter();
        write(meter, "FUNCtion:LINE1 CH1,VOLT\nFUNCtion:LINE2 CH2,DB\nSYSTem:REMote\n");
        const std::pair<const char *, const char *> queries[] = {
            {"FUNCtion:LINE1?\n", "CH1,VOLT\n"},
            {"SYSTem:REMote?\n", "YES\n"},
            {"FUNCtion:LINE2?\n", "CH2,DB\n"},
        };
        int wrong = 0;
        for (int i = 0; i < 1000; ++i) {
            const auto &[query, expected] = queries[i % 3];
            char answer[VI_FIND_BUFLEN];
            const ViStatus status = i % 2 ? viQueryf(meter, query, "%t", answer) : writeAndRead(meter, query, answer);
            if (status != VI_SUCCESS || std::strcmp(answer, expected) != 0) {
                if (++wrong <= 5)
                    qWarning("query %d %s: status 0x%x, answer \"%s\"", i, query, unsigned(status), answer);
            }
        }
        QCOMPARE(wrong, 0);
    }

    // A 16-byte bulk packet makes every answer several packets long; a
    // caller's buffer smaller than the answer gets it in pieces, never more
    // than it holds.
    void answerLongerThanPacketAndBuffer_data()
    {
        QTest::addColumn<int>("bufferSize");
        QTest::newRow("1 byte") << 1;
        QTest::newRow("10 bytes") << 10;
        QTest::newRow("16 bytes, one packet") << 16;
        QTest::newRow("whole answer") << 256;
    }
    void answerLongerThanPacketAndBuffer()
    {
        QFETCH(int, bufferSize);
        const ViSession meter = openMeter();
        write(meter, "FETCh?\n");
        QByteArray answer;
        ViStatus status = VI_SUCCESS_MAX_CNT;
        int reads = 0;
        while (status == VI_SUCCESS_MAX_CNT && reads < 1000) {
            QByteArray buffer(bufferSize + 8, '#');
            ViUInt32 got = 0;
            status = viRead(meter, reinterpret_cast<ViByte *>(buffer.data()), ViUInt32(bufferSize), &got);
            QVERIFY(got <= ViUInt32(bufferSize));
            QCOMPARE(buffer.mid(bufferSize), QByteArray(8, '#'));
            answer += buffer.left(int(got));
            ++reads;
        }
        QCOMPARE(status, VI_SUCCESS);
        QVERIFY2(answer.size() > 16 && answer.endsWith('\n') && answer.count(',') == 3, answer.constData());
        QCOMPARE(reads, (answer.size() + bufferSize - 1) / bufferSize);

        // A formatted read keeps what fits and drops the rest of that answer only.
        char small[21];
        std::memset(small, '#', sizeof small);
        QCOMPARE(viQueryf(meter, "FETCh?\n", "%20t", small), VI_SUCCESS);
        QCOMPARE(std::strlen(small), std::size_t(19));
        QCOMPARE(small[20], '#');
        char next[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(meter, "SYSTem:REMote?\n", "%t", next), VI_SUCCESS);
        QVERIFY2(QByteArray(next) == "YES\n" || QByteArray(next) == "NO\n", next);
    }

    // A meter that does not answer in time: the query times out after the
    // session's time-out, and the answer it gives late never answers the next query.
    void lateMeterTimesOutAndNextQueryGetsItsOwnAnswer()
    {
        QVERIFY(m_gadget.start({"--answer-delay", "3000"}));
        const ViSession meter = openMeter();
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 500), VI_SUCCESS);
        char answer[VI_FIND_BUFLEN];
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(viQueryf(meter, "SYSTem:REMote?\n", "%t", answer), VI_ERROR_TMO);
        QVERIFY2(clock.elapsed() >= 450 && clock.elapsed() < 10000, qPrintable(elapsedText(clock)));

        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 10000), VI_SUCCESS);
        QCOMPARE(viQueryf(meter, "FUNCtion:LINE1?\n", "%t", answer), VI_SUCCESS);
        QVERIFY2(QByteArray(answer).startsWith("CH"), answer);
        QCOMPARE(viQueryf(meter, "SYSTem:REMote?\n", "%t", answer), VI_SUCCESS);
        QVERIFY2(QByteArray(answer) == "YES\n" || QByteArray(answer) == "NO\n", answer);
    }

    void silentMeterTimesOutEveryQuery()
    {
        QVERIFY(m_gadget.start({"--faults", "silent-after=1"}));
        const ViSession meter = openMeter();
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(meter, "SYSTem:REMote?\n", "%t", answer), VI_SUCCESS);
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(viQueryf(meter, "SYSTem:REMote?\n", "%t", answer), VI_ERROR_TMO);
            // The device clear after a time-out may itself wait for the
            // kernel's control time-outs under emulation: the upper bound
            // only rules out a hang.
            QVERIFY2(clock.elapsed() >= 250 && clock.elapsed() < 30000, qPrintable(elapsedText(clock)));
        }
        QVERIFY(m_gadget.start());
    }

    // The gadget leaves the bus while a session is open: between queries, in
    // the middle of a blocking read, or by its own unplug-after fault. The
    // session fails at once, the resource leaves the list, and once plugged
    // back in it is found and opened again.
    void unplugAndReplug_data()
    {
        QTest::addColumn<QString>("moment");
        QTest::newRow("between queries") << "between";
        QTest::newRow("during a blocking read") << "read";
        QTest::newRow("unplug-after fault") << "fault";
    }
    void unplugAndReplug()
    {
        QFETCH(QString, moment);
        QVERIFY(m_gadget.start(moment == "fault" ? QStringList{"--faults", "unplug-after=1"} : QStringList{}));
        ViSession meter = openMeter();
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 10000), VI_SUCCESS);
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(meter, "SYSTem:REMote?\n", "%t", answer), VI_SUCCESS);

        std::thread puller;
        if (moment == "between") {
            m_gadget.unplug();
            QVERIFY(GadgetProcess::waitUntilListed(false));
        } else if (moment == "read") {
            puller = std::thread([this] {
                QThread::msleep(500);
                m_gadget.unplug();
            });
        }
        QElapsedTimer clock;
        clock.start();
        // Unanswered, so the read blocks until the cable goes.
        const ViStatus status = viQueryf(meter, moment == "read" ? "NOTHING?\n" : "SYSTem:REMote?\n", "%t", answer);
        const qint64 failedAfter = clock.elapsed();
        if (puller.joinable())
            puller.join();
        QCOMPARE(status, VI_ERROR_CONN_LOST);
        QVERIFY2(failedAfter < 5000, qPrintable(QString::number(failedAfter) + " ms"));
        QVERIFY(GadgetProcess::waitUntilListed(false));
        ViSession gone = VI_NULL;
        QCOMPARE(viOpen(m_rm, GadgetProcess::Resource, VI_NO_LOCK, 2000, &gone), VI_ERROR_RSRC_NFOUND);
        const ViStatus stillGone = viQueryf(meter, "SYSTem:REMote?\n", "%t", answer);
        QCOMPARE(stillGone, VI_ERROR_CONN_LOST);
        QCOMPARE(viClose(meter), VI_SUCCESS);

        m_gadget.plugBackIn();
        QVERIFY(GadgetProcess::waitUntilListed(true));
        meter = openMeter();
        QCOMPARE(viQueryf(meter, "FUNCtion:LINE1?\n", "%t", answer), VI_SUCCESS);
        QVERIFY2(QByteArray(answer).startsWith("CH"), answer);
    }

    // The driver as the program runs it, through the kernel: open, status
    // pass, live passes, an upload of a full memory, and back to local on close.
    void driverEndToEnd()
    {
        QVERIFY(m_gadget.start({"--faults", "stored=1000"}));
        Tessaly transport;
        Varnok driver;
        int passes = 0;
        int records = 0;
        QObject::connect(&driver, &Dmm::display, [&](const DmmData *data) {
            delete data;
            ++passes;
        });
        QObject::connect(&driver, &Varnok::displayStore, [&](const DmmData *data) {
            records += data->isStore ? 1 : 0;
            delete data;
        });
        QSignalSpy timeouts(&driver, &Varnok::communicationTimeout);
        QVERIFY(driver.open(&transport));
        QVERIFY(QTest::qWaitFor([&] { return passes >= 3; }, LinkWaitMs));
        const QStringList log = GadgetProcess::commandLog();
        const int firstFetch = log.indexOf("Fetch?");
        QCOMPARE(log.value(0), QString("SYSTem:REMote"));
        QVERIFY(log.indexOf("FUNCtion:LINE1?") > 0 && log.indexOf("FUNCtion:LINE1?") < firstFetch);

        driver.startGetAllStore();
        QVERIFY(QTest::qWaitFor([&] { return driver.getStoreParam().transferState == StoreParam::StoreDone; },
                                4 * LinkWaitMs));
        QCOMPARE(records, 1000);
        QCOMPARE(driver.getStoreParam().num, 1000);
        QCOMPARE(GadgetProcess::commandLog().count("MEMory:UPLoad? 1000"), 1);

        driver.close();
        QVERIFY(QTest::qWaitFor([] { return GadgetProcess::commandLog().endsWith("SYSTem:LOCal"); }, LinkWaitMs));
        QCOMPARE(timeouts.count(), 0);
    }

    // dmmlog as a user runs it against the meter on the bus: 100 readings into
    // a CSV, with the cable pulled and plugged back in half way, which
    // --reconnect (the default) rides out with comment lines for the gap.
    void dmmlogThroughTheKernel()
    {
        QVERIFY(m_gadget.start());
        const QString path = QDir::temp().filePath("dmmlog-kernel.csv");
        QFile::remove(path);
        QProcess logger;
        logger.start(QCoreApplication::applicationDirPath() + "/dmmlog", {"--samples", "100", "-o", path});
        QVERIFY(logger.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return journalLines(path, "[0-9]").size() >= 30; }, LinkWaitMs));
        m_gadget.unplug();
        QVERIFY(GadgetProcess::waitUntilListed(false));
        m_gadget.plugBackIn();
        QVERIFY(logger.waitForFinished(4 * LinkWaitMs));
        const QByteArray messages = logger.readAllStandardError();
        QVERIFY2(logger.exitStatus() == QProcess::NormalExit && logger.exitCode() == 0, messages.constData());
        const QStringList readings = journalLines(path, "[0-9]");
        QCOMPARE(readings.size(), 100);
        QVERIFY2(readings.last().startsWith("100,"), qPrintable(readings.last()));
        const QStringList notes = journalLines(path, "# (Link|Closed)");
        QCOMPARE(notes.size(), 2); // the one gap line, closed
        QVERIFY2(notes.first().startsWith("# Link lost: "), qPrintable(notes.first()));
        QVERIFY2(notes.last().endsWith("; 100 readings"), qPrintable(notes.last()));
        QCOMPARE(messages.count("was lost at"), 1);
        QCOMPARE(messages.count("is back at"), 1);
        QCOMPARE(GadgetProcess::commandLog().value(0), QString("SYSTem:REMote"));
        QCOMPARE(GadgetProcess::commandLog().last(), QString("SYSTem:LOCal"));
    }

    // A recording through twenty pulls of the cable (the gadget's controller
    // unbound, then a meter bound again), driven by the driver and the
    // reconnect logic as the window drives them: it goes on after each, in
    // order, with no reading the meter did not answer, and nothing is left
    // open or running at the end. The transport announces each pull and each
    // return from the bus, and the link is back soon after the meter is.
    void recordingSurvivesTwentyUnplugs()
    {
        constexpr int Cycles = 20;
        QVERIFY(m_gadget.start());
        const std::size_t objectsBefore = visa::openObjectCount();
        const int threadsBefore = threadCount();
        QElapsedTimer clock;
        clock.start();
        std::vector<QDateTime> kept;
        int lost = 0;
        int restored = 0;
        int removals = 0;
        qint64 arrivedAt = -1;        // the meter's first arrival since the last pull
        std::vector<qint64> backAfter; // ms from that arrival to the link restored
        {
            Tessaly transport;
            Varnok driver;
            Reconnector keeper(driver, transport);
            QObject::connect(&driver, &Dmm::display, [&](const DmmData *data) {
                kept.push_back(data->time);
                delete data;
            });
            QObject::connect(&keeper, &Reconnector::linkLost, [&] { ++lost; });
            QObject::connect(&keeper, &Reconnector::linkRestored, [&] {
                ++restored;
                backAfter.push_back(arrivedAt < 0 ? -1 : clock.elapsed() - arrivedAt);
            });
            QObject::connect(&transport, &Tessaly::removed, [&] {
                ++removals;
                arrivedAt = -1;
            });
            QObject::connect(&transport, &Tessaly::arrival, [&] {
                if (arrivedAt < 0)
                    arrivedAt = clock.elapsed();
            });
            auto keepsGrowing = [&] {
                const std::size_t before = kept.size();
                return QTest::qWaitFor([&] { return kept.size() >= before + 2; }, LinkWaitMs);
            };
            QVERIFY(driver.open(&transport));
            QVERIFY(keeper.start());
            for (int cycle = 1; cycle <= Cycles; ++cycle) {
                const QByteArray where = "cycle " + QByteArray::number(cycle);
                QVERIFY2(keepsGrowing(), where);
                m_gadget.unplug();
                QVERIFY2(QTest::qWaitFor([&] { return lost == cycle; }, LinkWaitMs), where);
                m_gadget.plugBackIn();
                QVERIFY2(QTest::qWaitFor([&] { return restored == cycle; }, LinkWaitMs), where);
            }
            QVERIFY(keepsGrowing());
            keeper.stop();
            driver.close();
        }
        QCOMPARE(lost, Cycles);
        QCOMPARE(restored, Cycles);
        QCOMPARE(removals, Cycles);
        // Reopened on the arrival, not the next one-second search: printed,
        // with a bound that only rules out a reconnect that never came of it.
        std::vector<qint64> sorted = backAfter;
        std::sort(sorted.begin(), sorted.end());
        QVERIFY2(sorted.front() >= 0, "a link came back without an arrival");
        qInfo("reconnect after the meter is back: median %lld ms, longest %lld ms over %d returns",
              static_cast<long long>(sorted[sorted.size() / 2]), static_cast<long long>(sorted.back()), Cycles);
        QVERIFY2(sorted.back() < 10000, qPrintable(QString::number(sorted.back()) + " ms"));
        for (std::size_t i = 1; i < kept.size(); ++i)
            QVERIFY(kept[i - 1] <= kept[i]);
        // Every reading kept answers a Fetch? of its own; at most the pass that
        // each connection's end cut short has none.
        const int fetches = GadgetProcess::commandLog().count("Fetch?");
        const int readings = static_cast<int>(kept.size());
        QVERIFY2(readings <= fetches && readings >= fetches - (Cycles + 1),
                 qPrintable(QString("%1 readings, %2 Fetch?").arg(readings).arg(fetches)));
        QCOMPARE(visa::openObjectCount(), objectsBefore);
        QCOMPARE(threadCount(), threadsBefore);
        qInfo("%d unplugs: %d readings kept, %d Fetch? received by the meter, in %s", Cycles, readings, fetches,
              qPrintable(elapsedText(clock)));
    }

    // The pacing figure through the kernel beside the one in-process; printed,
    // not asserted (a benchmark's figure on a shared machine).
    void livePacing()
    {
        QVERIFY(m_gadget.start());
        const double kernel = passesPerSecond();
        auto meter = std::make_shared<dmmsim::SimulatedMeter>();
        visa::addInProcessInstrument(meter);
        const double inProcess = passesPerSecond();
        visa::removeInProcessInstrument(meter.get());
        qInfo("live pacing: %.3f passes/s through the kernel, %.3f passes/s in-process (%.1f %%)", kernel, inProcess,
              100.0 * kernel / inProcess);
        QVERIFY(kernel > 0 && inProcess > 0);
    }

private:
    // Live passes per second of the driver on the first meter it finds, over
    // 30 passes after the first.
    static double passesPerSecond()
    {
        constexpr int Passes = 30;
        Tessaly transport;
        Varnok driver;
        driver.setSampleRate(0); // every pass ends in an emission
        int emitted = 0;
        QElapsedTimer clock;
        qint64 elapsedNs = 0;
        QObject::connect(&driver, &Dmm::display, [&](const DmmData *data) {
            delete data;
            if (emitted++ == 0)
                clock.start();
            else if (emitted == Passes + 1)
                elapsedNs = clock.nsecsElapsed();
        });
        if (!driver.open(&transport) || !QTest::qWaitFor([&] { return elapsedNs > 0; }, LinkWaitMs))
            return 0;
        driver.close();
        return Passes * 1e9 / static_cast<double>(elapsedNs);
    }

    // The lines of a journal file that start as `pattern` says.
    static QStringList journalLines(const QString &path, const QString &pattern)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QRegularExpression start("^" + pattern);
        return QString::fromUtf8(file.readAll()).split('\n').filter(start);
    }

    ViSession openMeter()
    {
        ViSession meter = VI_NULL;
        const ViStatus status = viOpen(m_rm, GadgetProcess::Resource, VI_NO_LOCK, 2000, &meter);
        if (status != VI_SUCCESS)
            qWarning("viOpen: status 0x%x", unsigned(status));
        return meter;
    }

    static void write(ViSession meter, const char *text)
    {
        const auto size = ViUInt32(std::strlen(text));
        ViUInt32 written = 0;
        QCOMPARE(viWrite(meter, reinterpret_cast<const ViByte *>(text), size, &written), VI_SUCCESS);
        QCOMPARE(written, size);
    }

    static ViStatus writeAndRead(ViSession meter, const char *query, char *answer)
    {
        answer[0] = '\0';
        ViStatus status = viWrite(meter, reinterpret_cast<const ViByte *>(query), ViUInt32(std::strlen(query)), VI_NULL);
        if (status < VI_SUCCESS)
            return status;
        ViUInt32 got = 0;
        status = viRead(meter, reinterpret_cast<ViByte *>(answer), VI_FIND_BUFLEN - 1, &got);
        answer[got] = '\0';
        return status;
    }

    GadgetProcess m_gadget;
    ViSession m_rm = VI_NULL;
};

QTEST_GUILESS_MAIN(TestUsbKernel)
#include "tst_usbkernel.moc"
