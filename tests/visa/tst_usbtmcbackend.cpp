// The kernel USBTMC backend against a fake sysfs tree with ptys as nodes.

#include "connection.h"
#include "fakeusbtmctree.h"
#include "inprocessinstrument.h"
#include "scriptedinstrument.h"
#include "stderrcapture.h"
#include "visa.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>

namespace {

const char *const Meter = "USB0::0x28E9::0x0285::KM4473N00123::INSTR";

// Reads from the master end what the backend wrote, waiting up to 10 s.
QByteArray readMaster(int master, int expected)
{
    QByteArray data;
    while (data.size() < expected) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 10000) != 1)
            break;
        char chunk[256];
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        data.append(chunk, int(n));
    }
    return data;
}

bool writeMaster(int master, const QByteArray &data)
{
    return ::write(master, data.constData(), std::size_t(data.size())) == data.size();
}

// Waits up to 10 s until bytes written at the master end can be read at the
// node: the kernel hands them across asynchronously.
bool readableAtNode(const QString &node)
{
    const int fd = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    const bool readable = ::poll(&p, 1, 10000) == 1 && (p.revents & POLLIN);
    ::close(fd);
    return readable;
}

bool isConnectionFailure(ViStatus status)
{
    return status == VI_ERROR_CONN_LOST || status == VI_ERROR_IO;
}

} // namespace

class TestUsbtmcBackend : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_tree = std::make_unique<FakeUsbtmcTree>();
        QVERIFY(m_tree->isValid());
        visa::setUsbtmcRoots(m_tree->classDir().toStdString(), m_tree->devDir().toStdString());
        QCOMPARE(viOpenDefaultRM(&m_rm), VI_SUCCESS);
    }

    void cleanup()
    {
        viClose(m_rm);
        for (int master : m_masters)
            ::close(master);
        m_masters.clear();
        m_tree.reset();
        QCOMPARE(visa::openObjectCount(), std::size_t(0));
    }

    void resourceNames_data()
    {
        QTest::addColumn<QByteArray>("idVendor");
        QTest::addColumn<QByteArray>("idProduct");
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QString>("name");
        QTest::newRow("sysfs form") << QByteArray("28e9\n") << QByteArray("0285\n") << QByteArray("KM4473N00123\n") << Meter;
        QTest::newRow("hex digits in capitals") << QByteArray("ABCD\n") << QByteArray("00ef\n") << QByteArray("x1\n")
                                                << "USB0::0xABCD::0x00EF::x1::INSTR";
        QTest::newRow("no serial number") << QByteArray("28e9\n") << QByteArray("0285\n") << QByteArray()
                                          << "USB0::0x28E9::0x0285::::INSTR";
        QTest::newRow("unreadable vendor: not listed") << QByteArray("zz\n") << QByteArray("0285\n") << QByteArray("1\n")
                                                       << QString();
    }
    void resourceNames()
    {
        QFETCH(QByteArray, idVendor);
        QFETCH(QByteArray, idProduct);
        QFETCH(QByteArray, serial);
        QFETCH(QString, name);
        QVERIFY(m_tree->addDevice(0, idVendor, idProduct, serial));
        QCOMPARE(found(), name.isNull() ? QStringList() : QStringList{name});
    }

    void devicesInNodeNumberOrder()
    {
        QVERIFY(m_tree->addDevice(10, "28e9", "0285", "TEN"));
        QVERIFY(m_tree->addDevice(2, "28e9", "0285", "TWO"));
        QVERIFY(QDir().mkpath(m_tree->classDir() + "/usbtmc3")); // no device link
        QVERIFY(QDir().mkpath(m_tree->classDir() + "/usbtmcx"));
        QCOMPARE(found(), (QStringList{"USB0::0x28E9::0x0285::TWO::INSTR", "USB0::0x28E9::0x0285::TEN::INSTR"}));
    }

    void queryRoundTrip()
    {
        const int master = addMeter();
        const ViSession meter = openMeter();
        QVERIFY(!visa::isInProcessSession(meter));
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 10000), VI_SUCCESS); // a busy machine is no silent meter
        QVERIFY(writeMaster(master, "KM4473N,0,V1.02\n")); // ready before it is asked for
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(meter, "*IDN?\n", "%t", answer), VI_SUCCESS);
        QCOMPARE(QByteArray(answer), QByteArray("KM4473N,0,V1.02\n"));
        QCOMPARE(readMaster(master, 6), QByteArray("*IDN?\n"));

        // A read with a small buffer gets the answer in pieces, the line feed ending it.
        QVERIFY(writeMaster(master, "0123456789\n"));
        ViByte piece[4];
        ViUInt32 got = 0;
        QCOMPARE(viRead(meter, piece, sizeof piece, &got), VI_SUCCESS_MAX_CNT);
        QCOMPARE(got, ViUInt32(4));
        QCOMPARE(viRead(meter, piece, sizeof piece, &got), VI_SUCCESS_MAX_CNT);
        QCOMPARE(viRead(meter, piece, sizeof piece, &got), VI_SUCCESS);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(piece), int(got)), QByteArray("89\n"));
    }

    void silentDeviceTimesOut()
    {
        addMeter();
        const ViSession meter = openMeter();
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
        QElapsedTimer clock;
        clock.start();
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(meter, "*IDN?\n", "%t", answer), VI_ERROR_TMO);
        // The session's time-out is kept, however busy the machine.
        QVERIFY2(clock.elapsed() >= 250, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    }

    void lateReplyDoesNotAnswerTheNextQuery()
    {
        const int master = addMeter();
        const ViSession meter = openMeter();
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(meter, "A?\n", "%t", answer), VI_ERROR_TMO);
        QCOMPARE(readMaster(master, 3), QByteArray("A?\n"));
        QVERIFY(writeMaster(master, "late answer to A\n"));
        QVERIFY(readableAtNode(m_tree->nodePath(0)));

        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 10000), VI_SUCCESS);
        QByteArray secondCommand;
        std::thread instrument([&] {
            secondCommand = readMaster(master, 3);
            writeMaster(master, "answer to B\n");
        });
        const ViStatus status = viQueryf(meter, "B?\n", "%t", answer);
        instrument.join();
        QCOMPARE(secondCommand, QByteArray("B?\n"));
        QCOMPARE(status, VI_SUCCESS);
        QCOMPARE(QByteArray(answer), QByteArray("answer to B\n"));
    }

    void clearDropsAnAnswerAlreadySent()
    {
        const int master = addMeter();
        const ViSession meter = openMeter();
        QVERIFY(writeMaster(master, "unread answer\n"));
        QVERIFY(readableAtNode(m_tree->nodePath(0)));
        QCOMPARE(viClear(meter), VI_SUCCESS);
        QVERIFY(writeMaster(master, "answer after the clear\n"));
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 10000), VI_SUCCESS);
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(meter, "B?\n", "%t", answer), VI_SUCCESS);
        QCOMPARE(QByteArray(answer), QByteArray("answer after the clear\n"));
    }

    // A device that sends without ever ending its message: the whole read
    // takes at most the session's time-out and at most 1 MiB.
    void endlessAnswerEndsTheRead_data()
    {
        QTest::addColumn<int>("chunk");      // bytes sent at a time, without a line feed
        QTest::addColumn<int>("pauseMs");    // between chunks
        QTest::addColumn<bool>("queryf");    // one viQueryf, else viRead in 256-byte pieces
        QTest::addColumn<uint>("timeoutMs"); // of the session
        QTest::addColumn<int>("status");
        QTest::newRow("trickle, read") << 64 << 20 << false << 300u << int(VI_ERROR_TMO);
        QTest::newRow("trickle, queryf") << 64 << 20 << true << 300u << int(VI_ERROR_TMO);
        QTest::newRow("babble, read") << 4096 << 0 << false << 60000u << int(VI_ERROR_IO);
        QTest::newRow("babble, queryf") << 4096 << 0 << true << 60000u << int(VI_ERROR_IO);
    }
    void endlessAnswerEndsTheRead()
    {
        QFETCH(int, chunk);
        QFETCH(int, pauseMs);
        QFETCH(bool, queryf);
        QFETCH(uint, timeoutMs);
        QFETCH(int, status);
        const int master = addMeter();
        const ViSession meter = openMeter();
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, timeoutMs), VI_SUCCESS);
        QCOMPARE(::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK), 0);
        std::atomic<bool> stop{false};
        std::thread device([&] {
            const QByteArray bytes(chunk, 'x');
            QElapsedTimer sending;
            sending.start();
            while (!stop && sending.elapsed() < 15000) { // a reader that never returns fails the bound below
                if (::write(master, bytes.constData(), std::size_t(chunk)) < 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1)); // full: the reader is behind
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            }
        });
        QElapsedTimer clock;
        clock.start();
        ViStatus last = VI_SUCCESS;
        std::size_t total = 0;
        if (queryf) {
            char answer[VI_FIND_BUFLEN];
            last = viQueryf(meter, "*IDN?\n", "%t", answer);
        } else {
            QCOMPARE(viWrite(meter, reinterpret_cast<const ViByte *>("*IDN?\n"), 6, VI_NULL), VI_SUCCESS);
            do {
                ViByte piece[VI_FIND_BUFLEN];
                ViUInt32 got = 0;
                last = viRead(meter, piece, sizeof piece, &got);
                total += got;
            } while (last == VI_SUCCESS_MAX_CNT);
        }
        const qint64 elapsed = clock.elapsed();
        stop = true;
        device.join();
        QCOMPARE(last, ViStatus(status));
        QVERIFY(total <= visa::MaxMessageBytes + 1);
        QVERIFY2(elapsed < 10000, qPrintable(QString::number(elapsed)));
    }

    void vanishedDeviceFailsAtOnce()
    {
        const int master = addMeter();
        const ViSession meter = openMeter();
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
        m_masters.removeAll(master);
        ::close(master); // the cable is pulled
        m_tree->removeDevice(0);

        QElapsedTimer clock;
        clock.start();
        ViByte buffer[16];
        char answer[VI_FIND_BUFLEN];
        QVERIFY(isConnectionFailure(viRead(meter, buffer, sizeof buffer, VI_NULL)));
        QVERIFY(isConnectionFailure(viWrite(meter, reinterpret_cast<const ViByte *>("*IDN?\n"), 6, VI_NULL)));
        QVERIFY(isConnectionFailure(viQueryf(meter, "*IDN?\n", "%t", answer)));
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));

        QCOMPARE(found(), QStringList());
        ViSession again = VI_NULL;
        QCOMPARE(viOpen(m_rm, Meter, VI_NO_LOCK, 2000, &again), VI_ERROR_RSRC_NFOUND);
    }

    // Only a character device at the node is an instrument; anything else
    // fails to open and says why.
    void onlyCharacterDevicesOpen_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("reported");
        QTest::newRow("pty") << "pty" << int(VI_SUCCESS) << false;
        QTest::newRow("listed but node gone") << "missing" << int(VI_ERROR_RSRC_NFOUND) << false;
        QTest::newRow("regular file") << "file" << int(VI_ERROR_RSRC_NFOUND) << true;
        QTest::newRow("directory") << "directory" << int(VI_ERROR_RSRC_NFOUND) << true;
        QTest::newRow("fifo") << "fifo" << int(VI_ERROR_RSRC_NFOUND) << true;
    }
    void onlyCharacterDevicesOpen()
    {
        QFETCH(QString, node);
        QFETCH(int, status);
        QFETCH(bool, reported);
        QVERIFY(m_tree->addDevice(0, "28e9", "0285", "KM4473N00123"));
        const QByteArray path = QFile::encodeName(m_tree->nodePath(0));
        if (node == "pty")
            m_masters << m_tree->addPtyNode(0);
        else if (node == "file")
            QVERIFY(QFile(m_tree->nodePath(0)).open(QIODevice::WriteOnly));
        else if (node == "directory")
            QVERIFY(QDir().mkpath(m_tree->nodePath(0)));
        else if (node == "fifo")
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);

        StderrCapture err;
        ViSession meter = VI_NULL;
        QCOMPARE(viOpen(m_rm, Meter, VI_NO_LOCK, 2000, &meter), ViStatus(status));
        QCOMPARE(meter != VI_NULL, status == VI_SUCCESS);
        QCOMPARE(err.text(), reported ? "dmmvisa: " + path + " is not a device\n" : QByteArray());
    }

    // Two meters without serial numbers, and an in-process instrument under
    // the name the first would have: each is listed, and opened, under a
    // board number of its own. A name too long for the standard's buffer is
    // left out.
    void namesAreUniqueAndFit()
    {
        const std::string unnamed = "USB0::0x28E9::0x0285::::INSTR";
        ListedInstrument inProcess(unnamed);
        for (int number : {0, 1}) {
            QVERIFY(m_tree->addDevice(number, "28e9", "0285", QByteArray()));
            m_masters << m_tree->addPtyNode(number);
        }
        QVERIFY(m_tree->addDevice(2, "28e9", "0285", QByteArray(240, 'S')));
        StderrCapture err;
        QCOMPARE(found(), (QStringList{QString::fromStdString(unnamed), "USB1::0x28E9::0x0285::::INSTR",
                                       "USB2::0x28E9::0x0285::::INSTR"}));
        QVERIFY2(err.text().contains("longer than 255 bytes: USB0::0x28E9::0x0285::SSS"), err.text().constData());

        ViSession second = VI_NULL;
        QCOMPARE(viOpen(m_rm, "USB2::0x28E9::0x0285::::INSTR", VI_NO_LOCK, 2000, &second), VI_SUCCESS);
        QCOMPARE(viWrite(second, reinterpret_cast<const ViByte *>("X\n"), 2, VI_NULL), VI_SUCCESS);
        QCOMPARE(readMaster(m_masters.last(), 2), QByteArray("X\n"));
    }

private:
    QStringList found()
    {
        ViFindList list = VI_NULL;
        ViUInt32 count = 0;
        ViChar name[VI_FIND_BUFLEN];
        QStringList names;
        if (viFindRsrc(m_rm, "USB?*INSTR", &list, &count, name) != VI_SUCCESS)
            return names;
        names << QString::fromLatin1(name);
        while (viFindNext(list, name) == VI_SUCCESS)
            names << QString::fromLatin1(name);
        viClose(list);
        return names;
    }

    int addMeter()
    {
        if (!m_tree->addDevice(0, "28e9\n", "0285\n", "KM4473N00123\n"))
            return -1;
        const int master = m_tree->addPtyNode(0);
        if (master >= 0)
            m_masters << master;
        return master;
    }

    ViSession openMeter()
    {
        ViSession meter = VI_NULL;
        const ViStatus status = viOpen(m_rm, Meter, VI_NO_LOCK, 2000, &meter);
        return status == VI_SUCCESS ? meter : VI_NULL;
    }

    std::unique_ptr<FakeUsbtmcTree> m_tree;
    ViSession m_rm = VI_NULL;
    QList<int> m_masters;
};

QTEST_GUILESS_MAIN(TestUsbtmcBackend)
#include "tst_usbtmcbackend.moc"
