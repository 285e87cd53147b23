// The kernel path for real: dmmgadget puts the simulated meter on a USB bus
// (dummy_hcd in a virtual machine, see scripts/usb-vm-test.sh), the kernel's
// usbtmc driver binds it, and the VISA layer reaches it through /dev/usbtmcN.
// Needs root, the USB gadget modules and a device controller: run only there.

#include "gadgetprocess.h"
#include "inprocessinstrument.h"
#include "visa.h"
#include "visaquerytool.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cstring>
#include <sstream>

namespace {

QString elapsedText(const QElapsedTimer &clock)
{
    return QString::number(clock.elapsed()) + " ms";
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
        QVERIFY(m_gadget.start({"--answer-delay", "1500"}));
        const ViSession meter = openMeter();
        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 500), VI_SUCCESS);
        char answer[VI_FIND_BUFLEN];
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(viQueryf(meter, "SYSTem:REMote?\n", "%t", answer), VI_ERROR_TMO);
        QVERIFY2(clock.elapsed() >= 450 && clock.elapsed() < 1400, qPrintable(elapsedText(clock)));

        QCOMPARE(viSetAttribute(meter, VI_ATTR_TMO_VALUE, 5000), VI_SUCCESS);
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
            QVERIFY2(clock.elapsed() >= 250 && clock.elapsed() < 5000, qPrintable(elapsedText(clock)));
        }
        QVERIFY(m_gadget.start());
    }

private:
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
