// The meter session against the simulated meter: a recording through a
// pulled cable resumes into the same target, with one gap line naming the
// readings on either side, unless the user stopped it or its target went
// meanwhile. Order and counts only; waits are long.
#include "journalsink.h"
#include "metersession.h"
#include "nokerneldevices.h"
#include "pluggedmeter.h"
#include "varnok.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int LinkWaitMs = 60000;

enum class During { Nothing, Stop, TargetDeleted };

} // namespace

class TestMeterSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(noUsbDevices.isValid()); }
    void recordingThroughLoss_data();
    void recordingThroughLoss();

private:
    NoKernelDevices noUsbDevices;
};

void TestMeterSession::recordingThroughLoss_data()
{
    QTest::addColumn<int>("during");
    QTest::newRow("left alone: resumed") << int(During::Nothing);
    QTest::newRow("stopped meanwhile") << int(During::Stop);
    QTest::newRow("target deleted meanwhile") << int(During::TargetDeleted);
}

void TestMeterSession::recordingThroughLoss()
{
    QFETCH(int, during);
    PluggedMeter plugged;
    dmmsim::SimulatedMeter *meter = plugged.meter.get();
    QTemporaryDir folder;
    QString journalPath;
    MeterSession session(QStringLiteral("tst_metersession"));
    session.setJournalOpener([&](const JournalHeader &header) {
        journalPath = folder.filePath(header.itemName + QStringLiteral(".csv"));
        return std::make_unique<JournalSink>(journalPath, header);
    });
    // As a front end does: the target keeps every reading while recording.
    connect(&session.driver(), &Dmm::display, &session, [&](const DmmData *data) {
        const std::unique_ptr<const DmmData> record(data);
        session.keep(*record);
    });
    QList<QDateTime> kept;
    connect(&session, &MeterSession::readingKept, &session, [&](const DmmData &record) { kept << record.time; });
    QStringList said;
    connect(&session, &MeterSession::linkLost, &session, [&](const QString &text) { said << text; });
    connect(&session, &MeterSession::linkRestored, &session, [&](const QString &text) { said << text; });

    auto target = std::make_unique<QObject>();
    QVERIFY(session.open());
    session.startRecording(target.get(), QStringLiteral("item"));
    QTRY_VERIFY_WITH_TIMEOUT(kept.size() >= 3, LinkWaitMs);
    QCOMPARE(session.target(), target.get());

    meter->replugAfter(std::chrono::milliseconds(1500));
    meter->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(session.recording(), MeterSession::Recording::PausedByLoss, LinkWaitMs);
    const int before = kept.size();
    if (During(during) == During::Stop)
        session.stopRecording();
    else if (During(during) == During::TargetDeleted)
        target.reset();
    QTRY_COMPARE_WITH_TIMEOUT(said.size(), 2, LinkWaitMs);
    QVERIFY2(said[0].contains(QStringLiteral("was lost at")), qPrintable(said[0]));

    if (During(during) != During::Nothing) {
        QVERIFY2(!said[1].contains(QStringLiteral("Recording resumed.")), qPrintable(said[1]));
        QCOMPARE(session.recording(), MeterSession::Recording::Idle);
        QCOMPARE(session.target(), nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(session.driver().actived(), LinkWaitMs);
        QTest::qWait(1000); // live passes go on; none is kept
        QCOMPARE(kept.size(), before);
        session.close();
        return;
    }
    QVERIFY2(said[1].contains(QStringLiteral("Recording resumed.")), qPrintable(said[1]));
    QTRY_VERIFY_WITH_TIMEOUT(kept.size() >= before + 2, LinkWaitMs);
    QCOMPARE(session.target(), target.get());
    session.close();
    QCOMPARE(session.recording(), MeterSession::Recording::Idle);

    // One journal; its gap line names the readings on either side of it.
    QFile journal(journalPath);
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = journal.readAll().split('\n');
    int gaps = 0;
    for (int i = 1; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith("# Link lost"))
            continue;
        ++gaps;
        const QByteArray before = lines[i - 1].split(',').value(1);
        const QByteArray after = lines[i + 1].split(',').value(1);
        QCOMPARE(lines[i], "# Link lost: " + before + "; resumed: " + after);
    }
    QCOMPARE(gaps, 1);
}

QTEST_GUILESS_MAIN(TestMeterSession)
#include "tst_metersession.moc"
