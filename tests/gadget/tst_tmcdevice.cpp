// The gadget's USBTMC side without a USB bus: Bulk-OUT framing, Bulk-IN
// transfers, and the device against the simulated meter, aborts and clears included.

#include "inprocessinstrument.h"
#include "simulatedmeter.h"
#include "tmcdevice.h"
#include "tmcprotocol.h"

#include <QtTest>

#include <condition_variable>
#include <future>
#include <mutex>

namespace {

// A Bulk-OUT message as the kernel's driver sends it: header, bytes, padding to four.
QByteArray outMessage(quint8 id, quint8 tag, const QByteArray &data, quint32 transferSize, bool end)
{
    QByteArray m(12, '\0');
    m[0] = char(id);
    m[1] = char(tag);
    m[2] = char(~tag);
    for (int i = 0; i < 4; ++i)
        m[4 + i] = char(transferSize >> (8 * i));
    m[8] = char(end ? 1 : 0);
    m += data;
    m.append((4 - m.size() % 4) % 4, '\0');
    return m;
}

QByteArray command(quint8 tag, const QByteArray &text, bool end = true)
{
    return outMessage(tmc::DevDepMsgOut, tag, text, quint32(text.size()), end);
}

QByteArray request(quint8 tag, quint32 maxSize)
{
    return outMessage(tmc::RequestDevDepMsgIn, tag, {}, maxSize, false);
}

// "id tag data EOM" of each message the parser cuts from `stream`, fed in pieces of `piece` bytes.
QStringList parsed(const QByteArray &stream, int piece, bool &corrupt)
{
    tmc::BulkOutParser parser;
    QStringList messages;
    for (int at = 0; at < stream.size(); at += piece) {
        const QByteArray part = stream.mid(at, piece);
        parser.feed(part.constData(), std::size_t(part.size()));
        while (const auto m = parser.next())
            messages << QString("%1 %2 %3%4").arg(m->id).arg(m->tag).arg(QString::fromStdString(m->data)).arg(m->endOfMessage ? " EOM" : "");
    }
    corrupt = parser.corrupt;
    return messages;
}

// Data and EOM of a DEV_DEP_MSG_IN transfer, after checking its header against `tag`.
QString inTransfer(const std::string &transfer, quint8 tag)
{
    const QByteArray t = QByteArray::fromStdString(transfer);
    if (t.size() < 12 || t.size() % 4 != 0 || quint8(t[0]) != 2 || quint8(t[1]) != tag || quint8(t[2]) != quint8(~tag))
        return "bad header";
    const quint32 size = quint8(t[4]) | quint8(t[5]) << 8 | quint8(t[6]) << 16 | quint32(quint8(t[7])) << 24;
    return QString::fromLatin1(t.mid(12, int(size))) + ((t[8] & 1) ? " EOM" : "");
}

// The simulated meter behind a gate: the first read waits, already inside
// the instrument, until the test opens it.
class GatedMeter : public visa::InProcessInstrument
{
public:
    std::string resourceName() const override { return m_meter.resourceName(); }
    ViStatus write(const std::string &bytes) override { return m_meter.write(bytes); }
    void clear() override { m_meter.clear(); }
    ViStatus read(std::string &message, std::chrono::milliseconds timeout) override
    {
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
        lock.unlock();
        return m_meter.read(message, timeout);
    }

    void waitUntilEntered()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_entered; });
    }
    void open()
    {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    dmmsim::SimulatedMeter m_meter;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_open = false;
};

} // namespace

class TestTmcDevice : public QObject
{
    Q_OBJECT

private slots:
    void bulkOutFraming_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("corrupt");
        const QByteArray both = command(1, "SYST:REM?\n") + request(2, 256);
        QTest::newRow("command and request") << both << QStringList{"1 1 SYST:REM?\n EOM", "2 2 "} << false;
        QTest::newRow("message in two parts") << command(3, "FUNC:LINE1 ", false) + command(4, "CH1,DB\n")
                                              << QStringList{"1 3 FUNC:LINE1 ", "1 4 CH1,DB\n EOM"} << false;
        QByteArray badTag = command(5, "X\n");
        badTag[2] = 0;
        QTest::newRow("tag and inverse disagree") << badTag << QStringList{} << true;
    }
    void bulkOutFraming()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, messages);
        QFETCH(bool, corrupt);
        for (int piece : {1, 5, 16, 4096}) {
            bool wasCorrupt = false;
            QCOMPARE(parsed(stream, piece, wasCorrupt), messages);
            QCOMPARE(wasCorrupt, corrupt);
        }
    }

    // Padded to four bytes, and never ending on a full packet: a short packet ends every transfer.
    void bulkInTransferLength_data()
    {
        QTest::addColumn<int>("dataSize");
        QTest::addColumn<int>("packet");
        QTest::addColumn<int>("length");
        QTest::newRow("short") << 5 << 64 << 20;
        QTest::newRow("ends on a packet") << 52 << 64 << 68;
        QTest::newRow("several packets") << 49 << 16 << 68;
        QTest::newRow("high speed") << 600 << 512 << 612;
    }
    void bulkInTransferLength()
    {
        QFETCH(int, dataSize);
        QFETCH(int, packet);
        QFETCH(int, length);
        const std::string transfer = tmc::devDepMsgIn(7, std::string(std::size_t(dataSize), 'a'), true, std::size_t(packet));
        QCOMPARE(int(transfer.size()), length);
        QCOMPARE(inTransfer(transfer, 7), QString(dataSize, 'a') + " EOM");
    }

    // An answer longer than the host asks for comes in parts, EOM on the last.
    void answerInParts()
    {
        Device<> d;
        d.feed(command(1, "SYSTem:REMote\nSYSTem:REMote?\n") + request(2, 2));
        QCOMPARE(d.next(2), QString("YE"));
        d.feed(request(3, 256));
        QCOMPARE(d.next(3), QString("S\n EOM"));
    }

    // A query whose answer is late is aborted or cleared; its answer never
    // reaches the next query. An abort naming another transfer is refused.
    void lateAnswerDropped_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("abort") << int(tmc::InitiateAbortBulkIn) << 9 << QByteArray("\x01\x09");
        QTest::newRow("abort of another transfer") << int(tmc::InitiateAbortBulkIn) << 10 << QByteArray("\x81\x09");
        QTest::newRow("clear") << int(tmc::InitiateClear) << 0 << QByteArray("\x01");
    }
    void lateAnswerDropped()
    {
        QFETCH(int, request);
        QFETCH(int, value);
        QFETCH(QByteArray, reply);
        Device<> d;
        d.meter->setAnswerDelay(std::chrono::milliseconds(200));
        d.feed(command(8, "SYSTem:REMote?\n") + ::request(9, 256));
        QCOMPARE(d.control(quint8(request), quint16(value)), reply);
        const bool dropped = quint8(reply[0]) == tmc::Success;
        d.feed(command(11, "FUNCtion:LINE1?\n") + ::request(12, 256));
        QCOMPARE(d.next(12), dropped ? QString("CH1,VOLT\n EOM") : QString("NO\n EOM"));
    }

    // A clear while the Bulk-IN writer waits inside the instrument: the clear
    // stays pending until that wait is over, so the answer to the host's next
    // command (sent once the clear is done) is never taken for a stale one.
    void clearDuringAnswerWait()
    {
        Device<GatedMeter> d;
        d.feed(command(1, "NOSUCH?\n") + request(2, 256));
        auto writer = std::async(std::launch::async, [&d] { return d.device.nextTransfer(d.stop); });
        const auto stopWriter = qScopeGuard([&d] {
            d.stop = true;
            d.meter->open();
        });
        d.meter->waitUntilEntered();

        QCOMPARE(d.control(tmc::InitiateClear, 0), QByteArray("\x01"));
        QCOMPARE(d.control(tmc::CheckClearStatus, 0), QByteArray("\x02\x00", 2));
        d.meter->open();
        QVERIFY(QTest::qWaitFor([&d] { return d.control(tmc::CheckClearStatus, 0) == QByteArray("\x01\x00", 2); }, 10000));
        d.feed(command(3, "SYSTem:REMote?\n") + request(4, 256));
        QCOMPARE(writer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        const auto transfer = writer.get();
        QVERIFY(transfer);
        QCOMPARE(inTransfer(*transfer, 4), QString("NO\n EOM"));
    }

    void controlRequests()
    {
        Device<> d;
        QCOMPARE(d.control(tmc::InitiateAbortBulkIn, 1), QByteArray("\x80\x00", 2)); // nothing in progress
        QCOMPARE(d.control(tmc::CheckAbortBulkInStatus, 0).left(2), QByteArray("\x01\x00", 2));
        QCOMPARE(d.control(tmc::CheckClearStatus, 0), QByteArray("\x01\x00", 2));
        const QByteArray caps = d.control(tmc::GetCapabilities, 0);
        QCOMPARE(caps.size(), 0x18);
        QCOMPARE(caps.left(4), QByteArray("\x01\x00\x00\x01", 4));
        QCOMPARE(d.control(64, 0), QByteArray()); // INDICATOR_PULSE is not offered: stalled
    }

private:
    template <typename Meter = dmmsim::SimulatedMeter>
    struct Device
    {
        std::shared_ptr<Meter> meter = std::make_shared<Meter>();
        TmcDevice device{meter, 64};
        std::atomic<bool> stop{false};

        void feed(const QByteArray &bytes) { device.receive(bytes.constData(), std::size_t(bytes.size())); }
        QString next(quint8 tag)
        {
            const auto transfer = device.nextTransfer(stop);
            device.transferSent();
            return transfer ? inTransfer(*transfer, tag) : QString("nothing");
        }
        QByteArray control(quint8 request, quint16 value)
        {
            const auto answer = device.control(request, value, 0x18);
            return answer ? QByteArray::fromStdString(*answer) : QByteArray();
        }
    };
};

QTEST_GUILESS_MAIN(TestTmcDevice)
#include "tst_tmcdevice.moc"
