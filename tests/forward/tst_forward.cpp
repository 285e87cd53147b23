// The forwarder's formats, its reading of a growing journal and its end.
// Sending to real servers is tst_forwarding's.
#include "dmmdata.h"
#include "forwarder.h"
#include "journalfollower.h"
#include "journalformat.h"
#include "lineprotocol.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

std::unique_ptr<DmmData> reading(int mode1 = DmmData::ValueNormal)
{
    auto record = std::make_unique<DmmData>();
    record->lines[0]->channel = record->channels[0];
    record->lines[1]->channel = record->channels[1];
    record->time = QDateTime::fromMSecsSinceEpoch(1796708006914, Qt::OffsetFromUTC, 3600);
    ChannelData &ch1 = *record->channels[0];
    ChannelData &ch2 = *record->channels[1];
    ch1.functions[0] = QStringLiteral("VOLT");
    ch1.values[0] = mode1 == DmmData::ValueNormal ? 0.0123456 : 0;
    ch1.valueModes[0] = mode1;
    ch1.valueTexts[0] = QStringLiteral("12.346");
    ch1.unitTexts[0] = QStringLiteral("mV");
    ch2.functions[1] = QStringLiteral("DBM");
    ch2.values[1] = -3.25;
    ch2.valueTexts[1] = QStringLiteral("-3.25");
    ch2.unitTexts[1] = QStringLiteral("dBm");
    ch1.frequency = 1000.5;
    ch2.frequency = DmmData::OverloadSentinel;
    return record;
}

// A server that is away until told to be up, and answers at once.
class FakeServer : public ForwardTarget
{
public:
    bool up = false;
    int sends = 0;

    QString description() const override { return QStringLiteral("the server"); }
    void send(const QString &, const std::vector<FollowedReading> &) override
    {
        ++sends;
        QTimer::singleShot(0, this, [this] {
            if (up)
                emit sent();
            else
                emit failed(QStringLiteral("away"), true);
        });
    }
    void close() override { QTimer::singleShot(0, this, &ForwardTarget::closed); }
};

} // namespace

class TestForward : public QObject
{
    Q_OBJECT

private slots:
    void linePoint_data()
    {
        QTest::addColumn<QString>("meter");
        QTest::addColumn<int>("mode1");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray rest = "line1_function=\"VOLT\",line1_unit=\"V\",line2=-3.25,line2_function=\"DBM\","
                                "line2_unit=\"dBm\",ch1_freq=1000.5,seq=17i 1796708006914\n";
        QTest::newRow("reading") << "KM4473NG0001" << int(DmmData::ValueNormal)
                                 << "dmmpanel,meter=KM4473NG0001 line1=0.0123456," + rest;
        // No number, no field: the function and unit still say what was measured.
        QTest::newRow("overload, tag escaped") << "bench 1,a=b" << int(DmmData::ValueOverload)
                                               << "dmmpanel,meter=bench\\ 1\\,a\\=b " + rest;
    }
    void linePoint()
    {
        QFETCH(QString, meter);
        QFETCH(int, mode1);
        QFETCH(QByteArray, expected);
        QCOMPARE(LineProtocol::point(meter, 17, *reading(mode1)), expected);
        auto stored = reading();
        stored->isStore = true; // no time of its own: no point
        QVERIFY(LineProtocol::point(meter, 1, *stored).isEmpty());
    }

    void namesAndUnits()
    {
        QCOMPARE(meterName(QStringLiteral("USB0::0x28E9::0x0285::KM4473NG0001::INSTR")), QStringLiteral("KM4473NG0001"));
        QCOMPARE(meterName(QStringLiteral("TCPIP::host/a+b#c")), QStringLiteral("TCPIP::host_a_b_c"));
        QCOMPARE(meterName(QString()), QStringLiteral("meter"));
        const QStringList shown{"mV", "µV", "uV", "V", "kHz", "dBm", "dB", "W", "mW"};
        QStringList si;
        for (const QString &unit : shown)
            si << LineProtocol::siUnit(unit);
        QCOMPARE(si, (QStringList{"V", "V", "V", "V", "Hz", "dBm", "dB", "W", "W"}));
    }

    // Whole lines only, as the writer appends them; a rewind reads again.
    void followsAGrowingJournal()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("j.csv");
        JournalFollower follower(path);
        QVERIFY(follower.readMore(10).empty()); // not made yet
        JournalHeader header;
        header.resource = QStringLiteral("USB0::0x28E9::0x0285::KM4473N-SIM2::INSTR");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray second = JournalFormat::recordLine(2, *reading());
        file.write(JournalFormat::headerText(header) + JournalFormat::recordLine(1, *reading())
                   + JournalFormat::commentLine(QStringLiteral("Link lost")) + second.left(20));
        std::vector<FollowedReading> got = follower.readMore(10);
        QCOMPARE(got.size(), size_t(1));
        QCOMPARE(got[0].seq, qint64(1));
        QCOMPARE(got[0].record->channels[0]->values[0], 0.0123456);
        QCOMPARE(follower.meter(), QStringLiteral("KM4473N-SIM2"));
        const qint64 afterFirst = follower.position();
        file.write(second.mid(20) + JournalFormat::recordLine(3, *reading()));
        QCOMPARE(follower.readingsAfter(afterFirst), qint64(2));
        got = follower.readMore(1);
        QCOMPARE(got.size(), size_t(1));
        QCOMPARE(got[0].seq, qint64(2));
        QCOMPARE(got[0].end, follower.position());
        follower.rewind(afterFirst);
        got = follower.readMore(10);
        QCOMPARE(got.size(), size_t(2));
        QCOMPARE(got[1].seq, qint64(3));
        QVERIFY(follower.readMore(10).empty());
    }

    // At the end a server that was away is tried again at once: the next
    // try of its back-off (1 s here) would come after the time given.
    void endTriesAgainAtOnce()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("j.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(JournalFormat::headerText(JournalHeader()) + JournalFormat::recordLine(1, *reading())
                   + JournalFormat::recordLine(2, *reading()));
        file.close();
        auto server = std::make_unique<FakeServer>();
        FakeServer *raw = server.get();
        Forwarder forwarder(path, std::move(server));
        QSignalSpy messages(&forwarder, &Forwarder::message);
        QSignalSpy finished(&forwarder, &Forwarder::finished);
        forwarder.start();
        QTRY_COMPARE(messages.count(), 1); // away: said once
        raw->up = true;
        forwarder.finish(800);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toLongLong(), 0);
        QCOMPARE(raw->sends, 2);
    }
};

QTEST_GUILESS_MAIN(TestForward)
#include "tst_forward.moc"
