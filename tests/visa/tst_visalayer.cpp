// The VISA functions against scripted in-process instruments.

#include "connection.h"
#include "nokerneldevices.h"
#include "scriptedinstrument.h"
#include "visa.h"

#include <QtTest>

#include <cstring>
#include <vector>

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

const char *const Meter = "USB0::0x28E9::0x0285::KM4473N001::INSTR";
const char *const Other = "USB0::0x1234::0x0001::ab12::INSTR";
const char *const Network = "TCPIP0::bench::INSTR";

struct Session
{
    ViSession rm = VI_NULL;
    ViSession instrument = VI_NULL;
};

Session openSession(const char *resource)
{
    Session s;
    if (viOpenDefaultRM(&s.rm) == VI_SUCCESS)
        viOpen(s.rm, resource, VI_NO_LOCK, 2000, &s.instrument);
    return s;
}

} // namespace

class TestVisaLayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // No kernel devices of this machine may show up among ours.
        QVERIFY(m_noKernelDevices.isValid());
    }

    void cleanup() { QCOMPARE(visa::openObjectCount(), std::size_t(0)); }

    void findByExpression_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("expected");
        const QStringList both{Meter, Other};
        QTest::newRow("usb instruments") << "USB?*INSTR" << both;
        QTest::newRow("letters in any case") << "usb?*instr" << both;
        QTest::newRow("everything, listed order") << "?*" << QStringList{Meter, Other, Network};
        QTest::newRow("star spans the model") << "*KM447*" << QStringList{Meter};
        QTest::newRow("star may match nothing") << "USB*INSTR*" << both;
        QTest::newRow("question mark is one character") << "USB0::0x28E9::0x0285::KM4473N00?::INSTR" << QStringList{Meter};
        QTest::newRow("question mark is not two") << "USB0::0x28E9::0x0285::KM4473N0?::INSTR" << QStringList{};
        QTest::newRow("whole name, not a part of it") << "KM447" << QStringList{};
        QTest::newRow("no wildcard, exact name") << QString(Other).toLower() << QStringList{Other};
    }
    void findByExpression()
    {
        QFETCH(QString, expression);
        QFETCH(QStringList, expected);
        ListedInstrument meter(Meter), other(Other), network(Network);
        ViSession rm = VI_NULL;
        QCOMPARE(viOpenDefaultRM(&rm), VI_SUCCESS);
        ViFindList list = VI_NULL;
        ViUInt32 count = 99;
        ViChar name[VI_FIND_BUFLEN];
        const ViStatus status = viFindRsrc(rm, expression.toLatin1().constData(), &list, &count, name);
        if (expected.isEmpty()) {
            QCOMPARE(status, VI_ERROR_RSRC_NFOUND);
            QCOMPARE(count, ViUInt32(0));
        } else {
            QCOMPARE(status, VI_SUCCESS);
            QCOMPARE(count, ViUInt32(expected.size()));
            QStringList found{QString::fromLatin1(name)};
            while (viFindNext(list, name) == VI_SUCCESS)
                found << QString::fromLatin1(name);
            QCOMPARE(found, expected);
            QCOMPARE(viFindNext(list, name), VI_ERROR_RSRC_NFOUND);
        }
        QCOMPARE(viClose(rm), VI_SUCCESS);
    }

    void findWithNothingListed()
    {
        ViSession rm = VI_NULL;
        QCOMPARE(viOpenDefaultRM(&rm), VI_SUCCESS);
        ViFindList list = 7;
        ViUInt32 count = 7;
        ViChar name[VI_FIND_BUFLEN];
        QCOMPARE(viFindRsrc(rm, "USB?*INSTR", &list, &count, name), VI_ERROR_RSRC_NFOUND);
        QCOMPARE(list, ViFindList(VI_NULL));
        QCOMPARE(count, ViUInt32(0));
        QCOMPARE(viFindRsrc(rm, "", &list, &count, name), VI_ERROR_INV_EXPR);
        QCOMPARE(viClose(rm), VI_SUCCESS);
    }

    void closingResourceManagerClosesItsObjects()
    {
        ListedInstrument meter(Meter);
        meter->answer("*IDN?", "KM4473N\n");
        const Session kept = openSession(Meter);
        const Session closing = openSession(Meter);
        QVERIFY(kept.instrument != VI_NULL && closing.instrument != VI_NULL);
        ViFindList list = VI_NULL;
        ViChar name[VI_FIND_BUFLEN];
        QCOMPARE(viFindRsrc(closing.rm, "?*", &list, VI_NULL, name), VI_SUCCESS);
        QCOMPARE(visa::openObjectCount(), std::size_t(5));

        QCOMPARE(viClose(closing.rm), VI_SUCCESS);
        QCOMPARE(visa::openObjectCount(), std::size_t(2));
        QCOMPARE(viWrite(closing.instrument, reinterpret_cast<const ViByte *>("x\n"), 2, VI_NULL), VI_ERROR_INV_OBJECT);
        QCOMPARE(viFindNext(list, name), VI_ERROR_INV_OBJECT);
        QCOMPARE(viClose(closing.instrument), VI_ERROR_INV_OBJECT);

        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(kept.instrument, "*IDN?\n", "%t", answer), VI_SUCCESS);
        QCOMPARE(QByteArray(answer), QByteArray("KM4473N\n"));
        QCOMPARE(viClose(kept.rm), VI_SUCCESS);
    }

    void staleAndUnknownHandles_data()
    {
        QTest::addColumn<bool>("stale"); // closed before use, else never opened
        QTest::newRow("closed session") << true;
        QTest::newRow("unknown handle") << false;
    }
    void staleAndUnknownHandles()
    {
        QFETCH(bool, stale);
        ListedInstrument meter(Meter);
        ViSession handle = 0xDEAD;
        if (stale) {
            const Session s = openSession(Meter);
            handle = s.instrument;
            QCOMPARE(viClose(s.instrument), VI_SUCCESS);
            QCOMPARE(viClose(s.rm), VI_SUCCESS);
        }
        ViByte buffer[8] = {};
        char text[VI_FIND_BUFLEN];
        ViSession out = VI_NULL;
        QCOMPARE(viRead(handle, buffer, sizeof buffer, VI_NULL), VI_ERROR_INV_OBJECT);
        QCOMPARE(viWrite(handle, buffer, sizeof buffer, VI_NULL), VI_ERROR_INV_OBJECT);
        QCOMPARE(viQueryf(handle, "*IDN?\n", "%t", text), VI_ERROR_INV_OBJECT);
        QCOMPARE(viSetAttribute(handle, VI_ATTR_TMO_VALUE, 100), VI_ERROR_INV_OBJECT);
        QCOMPARE(viFindRsrc(handle, "?*", VI_NULL, VI_NULL, text), VI_ERROR_INV_OBJECT);
        QCOMPARE(viOpen(handle, Meter, VI_NO_LOCK, 0, &out), VI_ERROR_INV_OBJECT);
        QCOMPARE(viClose(handle), VI_ERROR_INV_OBJECT);
        QCOMPARE(viClose(VI_NULL), VI_ERROR_INV_OBJECT);
        QVERIFY(meter->received().empty());
    }

    void handlesAreNotReused()
    {
        ListedInstrument meter(Meter);
        const Session first = openSession(Meter);
        QCOMPARE(viClose(first.rm), VI_SUCCESS);
        const Session second = openSession(Meter);
        QVERIFY(second.instrument != VI_NULL);
        QVERIFY(second.rm != first.rm && second.rm != first.instrument);
        QVERIFY(second.instrument != first.rm && second.instrument != first.instrument);
        QCOMPARE(viClose(second.rm), VI_SUCCESS);
    }

    void openFailures()
    {
        ListedInstrument meter(Meter);
        ViSession rm = VI_NULL;
        QCOMPARE(viOpenDefaultRM(&rm), VI_SUCCESS);
        ViSession instrument = 7;
        QCOMPARE(viOpen(rm, "USB0::0x28E9::0x0285::NOSUCH::INSTR", VI_NO_LOCK, 0, &instrument), VI_ERROR_RSRC_NFOUND);
        QCOMPARE(instrument, ViSession(VI_NULL));
        QCOMPARE(viOpen(rm, "", VI_NO_LOCK, 0, &instrument), VI_ERROR_INV_RSRC_NAME);
        QCOMPARE(visa::openObjectCount(), std::size_t(1));
        // Resource names compare regardless of case.
        QCOMPARE(viOpen(rm, QByteArray(Meter).toLower().constData(), VI_NO_LOCK, 0, &instrument), VI_SUCCESS);
        QVERIFY(visa::isInProcessSession(instrument));
        QVERIFY(!visa::isInProcessSession(rm));
        ViSession nested = VI_NULL;
        QCOMPARE(viOpen(instrument, Meter, VI_NO_LOCK, 0, &nested), VI_ERROR_INV_OBJECT);
        QCOMPARE(viClose(rm), VI_SUCCESS);
    }

    void setAttribute()
    {
        ListedInstrument meter(Meter);
        const Session s = openSession(Meter);
        QCOMPARE(viSetAttribute(s.instrument, VI_ATTR_TMO_VALUE, 500), VI_SUCCESS);
        QCOMPARE(viSetAttribute(s.instrument, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
        QCOMPARE(viSetAttribute(s.instrument, VI_ATTR_TMO_VALUE, ViAttrState(1) << 32), VI_ERROR_NSUP_ATTR_STATE);
        QCOMPARE(viSetAttribute(s.instrument, 0x3FFF0005 /* event queue length: no events */, 50), VI_ERROR_NSUP_ATTR);
        QCOMPARE(viSetAttribute(s.rm, VI_ATTR_TMO_VALUE, 500), VI_ERROR_NSUP_ATTR);
        QCOMPARE(viClose(s.rm), VI_SUCCESS);
    }

    void readHandsOutTheMessageInPieces_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("termChar"); // -1: none enabled
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<std::vector<int>>("statuses");
        const int more = VI_SUCCESS_MAX_CNT;
        const int end = VI_SUCCESS;
        const int term = VI_SUCCESS_TERM_CHAR;
        QTest::newRow("small buffer") << 4 << -1 << QByteArrayList{"0123", "4567", "89\n"} << std::vector<int>{more, more, end};
        QTest::newRow("buffer one short") << 10 << -1 << QByteArrayList{"0123456789", "\n"} << std::vector<int>{more, end};
        QTest::newRow("exact fit ends it") << 11 << -1 << QByteArrayList{"0123456789\n"} << std::vector<int>{end};
        QTest::newRow("roomy buffer") << 300 << -1 << QByteArrayList{"0123456789\n"} << std::vector<int>{end};
        QTest::newRow("termination character stops it") << 300 << int('4') << QByteArrayList{"01234", "56789\n"}
                                                        << std::vector<int>{term, end};
        QTest::newRow("character in a small buffer") << 3 << int('4') << QByteArrayList{"012", "34", "567", "89\n"}
                                                     << std::vector<int>{more, term, more, end};
        QTest::newRow("kept rest, then more of the message") << 6 << int('1') << QByteArrayList{"01", "234567", "89\n"}
                                                             << std::vector<int>{term, more, end};
        QTest::newRow("kept rest ends the message") << 300 << int('8') << QByteArrayList{"012345678", "9\n"}
                                                    << std::vector<int>{term, end};
        QTest::newRow("character that also ends it") << 300 << int('\n') << QByteArrayList{"0123456789\n"}
                                                     << std::vector<int>{term};
    }
    void readHandsOutTheMessageInPieces()
    {
        QFETCH(int, count);
        QFETCH(int, termChar);
        QFETCH(QByteArrayList, pieces);
        QFETCH(std::vector<int>, statuses);
        ListedInstrument meter(Meter);
        meter->answer("READ?", "0123456789\n");
        const Session s = openSession(Meter);
        if (termChar >= 0) {
            QCOMPARE(viSetAttribute(s.instrument, VI_ATTR_TERMCHAR, ViAttrState(termChar)), VI_SUCCESS);
            QCOMPARE(viSetAttribute(s.instrument, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
        }
        QCOMPARE(viWrite(s.instrument, reinterpret_cast<const ViByte *>("READ?\n"), 6, VI_NULL), VI_SUCCESS);
        for (int i = 0; i < pieces.size(); ++i) {
            const int guard = 16;
            std::vector<ViByte> buffer(std::size_t(count + guard), 0xAA);
            ViUInt32 got = 0;
            QCOMPARE(viRead(s.instrument, buffer.data(), ViUInt32(count), &got), ViStatus(statuses[std::size_t(i)]));
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer.data()), int(got)), pieces[i]);
            for (int g = count; g < count + guard; ++g)
                QCOMPARE(buffer[std::size_t(g)], ViByte(0xAA));
        }
        // A message left unfinished is dropped by the next command.
        QCOMPARE(viSetAttribute(s.instrument, VI_ATTR_TERMCHAR_EN, VI_FALSE), VI_SUCCESS);
        meter->answer("B?", "second\n");
        QCOMPARE(viWrite(s.instrument, reinterpret_cast<const ViByte *>("READ?\n"), 6, VI_NULL), VI_SUCCESS);
        ViByte piece[4];
        QCOMPARE(viRead(s.instrument, piece, sizeof piece, VI_NULL), VI_SUCCESS_MAX_CNT);
        char next[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(s.instrument, "B?\n", "%t", next), VI_SUCCESS);
        QCOMPARE(QByteArray(next), QByteArray("second\n"));
        QCOMPARE(viClose(s.rm), VI_SUCCESS);
    }

    void queryfBoundsTheAnswer_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("stored");
        const QByteArray longAnswer = QByteArray(299, 'x') + '\n';
        QTest::newRow("short answer, terminator kept") << QByteArray("%t") << QByteArray("1.5E-3\n") << QByteArray("1.5E-3\n");
        QTest::newRow("%t holds 255") << QByteArray("%t") << longAnswer << QByteArray(255, 'x');
        QTest::newRow("%256t holds 255") << QByteArray("%256t") << longAnswer << QByteArray(255, 'x');
        QTest::newRow("%8t holds 7") << QByteArray("%8t") << QByteArray("ABCDEFGHIJ\n") << QByteArray("ABCDEFG");
        QTest::newRow("%1t holds nothing") << QByteArray("%1t") << QByteArray("ABC\n") << QByteArray();
        QTest::newRow("empty answer") << QByteArray("%t") << QByteArray() << QByteArray();
    }
    void queryfBoundsTheAnswer()
    {
        QFETCH(QByteArray, format);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, stored);
        ListedInstrument meter(Meter);
        meter->answer("A?", answer.toStdString());
        meter->answer("B?", "second\n");
        const Session s = openSession(Meter);
        const std::size_t guard = 64;
        std::vector<char> buffer(VI_FIND_BUFLEN + guard, '#');
        QCOMPARE(viQueryf(s.instrument, "A?\n", format.constData(), buffer.data()), VI_SUCCESS);
        QCOMPARE(QByteArray(buffer.data()), stored);
        const std::size_t capacity = format == "%t" ? VI_FIND_BUFLEN : std::size_t(format.mid(1, format.size() - 2).toUInt());
        for (std::size_t i = capacity; i < buffer.size(); ++i)
            QCOMPARE(buffer[i], '#');
        // The rest of a cut answer must not answer the next query.
        char next[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(s.instrument, "B?\n", "%t", next), VI_SUCCESS);
        QCOMPARE(QByteArray(next), QByteArray("second\n"));
        QCOMPARE(viClose(s.rm), VI_SUCCESS);
    }

    void queryfFormats_data()
    {
        QTest::addColumn<QByteArray>("writeFormat");
        QTest::addColumn<QByteArray>("readFormat");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("sent"); // empty: nothing may be sent
        QTest::newRow("%% is one percent sign") << QByteArray("REL:PERC 10%%\n") << QByteArray("%t") << int(VI_SUCCESS) << QByteArray("REL:PERC 10%");
        QTest::newRow("conversion in the command") << QByteArray("VOLT %d\n") << QByteArray("%t") << int(VI_ERROR_INV_FMT) << QByteArray();
        QTest::newRow("lone percent at the end") << QByteArray("X%") << QByteArray("%t") << int(VI_ERROR_INV_FMT) << QByteArray();
        QTest::newRow("string read format") << QByteArray("A?\n") << QByteArray("%s") << int(VI_ERROR_INV_FMT) << QByteArray();
        QTest::newRow("zero width") << QByteArray("A?\n") << QByteArray("%0t") << int(VI_ERROR_INV_FMT) << QByteArray();
        QTest::newRow("trailing text") << QByteArray("A?\n") << QByteArray("%tx") << int(VI_ERROR_INV_FMT) << QByteArray();
    }
    void queryfFormats()
    {
        QFETCH(QByteArray, writeFormat);
        QFETCH(QByteArray, readFormat);
        QFETCH(int, status);
        QFETCH(QByteArray, sent);
        ListedInstrument meter(Meter);
        meter->answer("REL:PERC 10%", "OK\n");
        const Session s = openSession(Meter);
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(s.instrument, writeFormat.constData(), readFormat.constData(), answer), ViStatus(status));
        const auto received = meter->received();
        if (sent.isEmpty()) {
            QVERIFY(received.empty());
        } else {
            QCOMPARE(received.size(), std::size_t(1));
            QCOMPARE(QByteArray::fromStdString(received.front()), sent);
        }
        QCOMPARE(viClose(s.rm), VI_SUCCESS);
    }

    // An instrument that does not end its message: past 1 MiB the read fails
    // and the rest is dropped, so that the next query gets its own answer.
    void babblingAnswerIsCut_data()
    {
        QTest::addColumn<int>("length");  // of the answer to "A?", which has no end but its length
        QTest::addColumn<int>("chunk");   // viRead buffer size; 0: one viQueryf
        QTest::addColumn<int>("status");
        const int cap = int(visa::MaxMessageBytes);
        QTest::newRow("read: exactly the cap") << cap << 4096 << int(VI_SUCCESS);
        QTest::newRow("read: one byte over") << cap + 1 << 4096 << int(VI_ERROR_IO);
        QTest::newRow("read: whole buffers past the cap") << 3 * cap << cap << int(VI_ERROR_IO);
        QTest::newRow("queryf: exactly the cap") << cap << 0 << int(VI_SUCCESS);
        QTest::newRow("queryf: far over") << 3 * cap << 0 << int(VI_ERROR_IO);
    }
    void babblingAnswerIsCut()
    {
        QFETCH(int, length);
        QFETCH(int, chunk);
        QFETCH(int, status);
        ListedInstrument meter(Meter);
        meter->answer("A?", std::string(std::size_t(length), 'x'));
        meter->answer("B?", "second\n");
        const Session s = openSession(Meter);
        std::size_t total = 0;
        ViStatus last = VI_SUCCESS;
        if (chunk == 0) {
            char answer[VI_FIND_BUFLEN];
            last = viQueryf(s.instrument, "A?\n", "%t", answer);
            QCOMPARE(QByteArray(answer), QByteArray(VI_FIND_BUFLEN - 1, 'x'));
        } else {
            QCOMPARE(viWrite(s.instrument, reinterpret_cast<const ViByte *>("A?\n"), 3, VI_NULL), VI_SUCCESS);
            std::vector<ViByte> buffer(static_cast<std::size_t>(chunk));
            do {
                ViUInt32 got = 0;
                last = viRead(s.instrument, buffer.data(), ViUInt32(chunk), &got);
                total += got;
                QVERIFY(total <= visa::MaxMessageBytes + 1);
            } while (last == VI_SUCCESS_MAX_CNT);
            if (last == VI_SUCCESS)
                QCOMPARE(total, std::size_t(length));
        }
        QCOMPARE(last, ViStatus(status));
        char next[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(s.instrument, "B?\n", "%t", next), VI_SUCCESS);
        QCOMPARE(QByteArray(next), QByteArray("second\n"));
        QCOMPARE(viClose(s.rm), VI_SUCCESS);
    }

    void timeOutDropsPendingAnswers()
    {
        ListedInstrument meter(Meter);
        const Session s = openSession(Meter);
        ViByte buffer[16];
        ViUInt32 got = 99;
        QCOMPARE(viRead(s.instrument, buffer, sizeof buffer, &got), VI_ERROR_TMO);
        QCOMPARE(got, ViUInt32(0));
        QCOMPARE(meter->clearCount(), 1);
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(s.instrument, "SILENT?\n", "%t", answer), VI_ERROR_TMO);
        QCOMPARE(meter->clearCount(), 2);
        QCOMPARE(viClose(s.rm), VI_SUCCESS);
    }

    void lostConnectionIsReported()
    {
        ListedInstrument meter(Meter);
        const Session s = openSession(Meter);
        meter->unplug();
        ViByte buffer[16] = {};
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viWrite(s.instrument, buffer, 3, VI_NULL), VI_ERROR_CONN_LOST);
        QCOMPARE(viRead(s.instrument, buffer, sizeof buffer, VI_NULL), VI_ERROR_CONN_LOST);
        QCOMPARE(viQueryf(s.instrument, "A?\n", "%t", answer), VI_ERROR_CONN_LOST);
        QCOMPARE(meter->clearCount(), 0);
        QCOMPARE(viClose(s.rm), VI_SUCCESS);
    }

    void removedInstrumentServesOpenSessions()
    {
        auto meter = std::make_unique<ListedInstrument>(Meter);
        (*meter)->answer("A?", "1\n");
        const Session s = openSession(Meter);
        meter.reset();
        ViChar name[VI_FIND_BUFLEN];
        QCOMPARE(viFindRsrc(s.rm, "?*", VI_NULL, VI_NULL, name), VI_ERROR_RSRC_NFOUND);
        char answer[VI_FIND_BUFLEN];
        QCOMPARE(viQueryf(s.instrument, "A?\n", "%t", answer), VI_SUCCESS);
        QCOMPARE(QByteArray(answer), QByteArray("1\n"));
        QCOMPARE(viClose(s.rm), VI_SUCCESS);
    }

    void nullBuffers()
    {
        ListedInstrument meter(Meter);
        const Session s = openSession(Meter);
        QCOMPARE(viOpenDefaultRM(nullptr), VI_ERROR_USER_BUF);
        QCOMPARE(viRead(s.instrument, nullptr, 4, VI_NULL), VI_ERROR_USER_BUF);
        QCOMPARE(viWrite(s.instrument, nullptr, 4, VI_NULL), VI_ERROR_USER_BUF);
        QCOMPARE(viQueryf(s.instrument, "A?\n", "%t", static_cast<char *>(nullptr)), VI_ERROR_USER_BUF);
        QVERIFY(meter->received().empty());
        QCOMPARE(viClose(s.rm), VI_SUCCESS);
    }

private:
    NoKernelDevices m_noKernelDevices;
};

QTEST_GUILESS_MAIN(TestVisaLayer)
#include "tst_visalayer.moc"
