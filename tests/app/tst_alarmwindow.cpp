// Limit alarms and the stop condition in the window, against the simulated
// meter whose CH1 (display line 1, about 123 mV) is doubled and brought
// back: the message list, the journal, the red mark and a desktop
// notification on a private session bus, each exactly once per crossing.
#include "apptestsupport.h"
#include "dlglimits.h"
#include "modalanswerer.h"
#include "nokerneldevices.h"
#include "optiondialog.h"
#include "pluggedmeter.h"
#include "recordingjournal.h"
#include "widget.h"

#include <QDBusConnection>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

constexpr int Timeout = 60000;

// The one journal the recording wrote, line by line.
QStringList journalLines()
{
    const QDir folder(RecordingJournal::folder());
    const QStringList files = folder.entryList({QStringLiteral("*.csv")}, QDir::Files);
    if (files.size() != 1)
        return {};
    QFile file(folder.filePath(files.first()));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                          : QStringList();
}

void scaleFirstInput(dmmsim::SimulatedMeter &meter, double factor)
{
    dmmsim::InputSignal signal = meter.input(1);
    signal.rms *= factor;
    meter.setInput(1, signal);
}

} // namespace

// Stands in for the desktop's notification service on the private bus.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList seen; // summary: body
public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        seen << summary + QStringLiteral(": ") + body;
        return uint(seen.size());
    }
};

class TestAlarmWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void alarmRaisedAndClearedOnce();
    void alarmStandingAtTheStart();
    void stopConditionEndsRecording();

private:
    NoKernelDevices noUsbDevices;
    QProcess bus;
    NotificationService service;
};

void TestAlarmWindow::initTestCase()
{
    QVERIFY(noUsbDevices.isValid());
    // A session bus of the test's own, before anything asks for one.
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                              QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
    QVERIFY2(bus.waitForStarted(), "dbus-daemon is missing (scripts/install-deps.sh installs it)");
    QTRY_VERIFY_WITH_TIMEOUT(bus.canReadLine(), Timeout);
    const QByteArray address = bus.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QDBusConnection serviceSide = QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("service"));
    QVERIFY(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                       QDBusConnection::ExportAllSlots));
    QVERIFY(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
}

void TestAlarmWindow::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    bus.terminate();
    bus.waitForFinished();
}

void TestAlarmWindow::alarmRaisedAndClearedOnce()
{
    PluggedMeter plugged;
    dmmsim::SimulatedMeter &meter = *plugged.meter;
    ModalAnswerer answerer;
    // Options, then its Limits dialog: 0.1 V to 0.2 V on display line 1.
    answerer.setDialogHandler([](QDialog *dialog) {
        if (auto *limits = qobject_cast<DlgLimits *>(dialog)) {
            limits->findChild<QLineEdit *>(QStringLiteral("editLine1Low"))->setText(QStringLiteral("0.1"));
            limits->findChild<QLineEdit *>(QStringLiteral("editLine1High"))->setText(QStringLiteral("0.2"));
            limits->accept();
        } else if (qobject_cast<OptionDialog *>(dialog)) {
            // From the dialog's own loop, where the Limits dialog is answered in turn.
            QTimer::singleShot(0, dialog, [dialog] {
                dialog->findChild<QPushButton *>(QStringLiteral("btnLimits"))->click();
                dialog->accept();
            });
        } else {
            dialog->reject();
        }
    });
    WindowFixture fixture;
    fixture.action("actionOption")->trigger();
    fixture.action("actionConnect")->trigger();
    fixture.action("actionStart")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.tableRows() >= 3, Timeout);

    auto *unit = fixture.window()->findChild<QLabel *>(QStringLiteral("lcdLIne1Unit"));
    scaleFirstInput(meter, 2.0);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.messages().filter(QStringLiteral("Line1 alarm:")).size(), 1, Timeout);
    QVERIFY2(unit->text().endsWith(QStringLiteral(" ALARM")) && unit->styleSheet().contains("255, 0, 0"),
             qPrintable(unit->text()));
    const int raisedAt = fixture.tableRows();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.tableRows() >= raisedAt + 3, Timeout);
    scaleFirstInput(meter, 0.5);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.messages().filter(QStringLiteral("Line1 alarm cleared")).size(), 1, Timeout);
    QVERIFY(!unit->text().contains(QStringLiteral("ALARM")) && unit->styleSheet().isEmpty());
    const int clearedAt = fixture.tableRows();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.tableRows() >= clearedAt + 3, Timeout);
    fixture.action("actionStop")->trigger();

    QCOMPARE(fixture.messages().filter(QStringLiteral("alarm")).size(), 2);
    QVERIFY2(fixture.messages().filter(QStringLiteral("Line1 alarm:")).constFirst().contains(
                 QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d Line1 alarm: "
                                                   "0\\.2\\d* V outside 0\\.1 V to 0\\.2 V$"))),
             qPrintable(fixture.messages().join('|')));
    QTRY_COMPARE_WITH_TIMEOUT(service.seen.size(), 1, Timeout);
    QVERIFY2(service.seen.first().startsWith(QStringLiteral("Line1 alarm: 0.2")), qPrintable(service.seen.first()));

    const QStringList lines = journalLines();
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^# Alarm Line1: \\S+; 0\\.2\\d* V outside 0\\.1 V to 0\\.2 V$"))).size(), 1);
    QCOMPARE(lines.filter(QStringLiteral("# Alarm cleared Line1: ")).size(), 1);
    QCOMPARE(lines.filter(QStringLiteral("# Alarm")).size(), 2);

    // The journal's statistics as Python's statistics module has them.
    const QStringList statistics = lines.filter(QStringLiteral("# Statistics "));
    QCOMPARE(statistics.size(), 2);
    QVERIFY(lines.last().startsWith(QStringLiteral("# Closed: ")) && lines[lines.size() - 2] == statistics.last());
    QProcess python;
    const QDir folder(RecordingJournal::folder());
    python.start(QStringLiteral("python3"), {QStringLiteral(JOURNAL_STATS),
                                             folder.filePath(folder.entryList({QStringLiteral("*.csv")}).first())});
    QVERIFY(python.waitForFinished(Timeout) && python.exitCode() == 0);
    const QStringList expected = QString::fromLatin1(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(expected.size(), 2);
    for (int line = 0; line < 2; ++line) {
        const QStringList want = expected[line].split(' ');
        // "# Statistics Line1 VOLT: n=40 mean=... sd=... min=... max=..."
        const QStringList got = statistics[line].split(' ');
        QCOMPARE(got[2], want[0]);
        QCOMPARE(got[4], QStringLiteral("n=") + want[1]);
        for (int i = 0; i < 4; ++i) {
            const double value = got[5 + i].section('=', 1).toDouble();
            QVERIFY2(qAbs(value - want[2 + i].toDouble()) <= 1e-5 * qMax(qAbs(value), 1e-9),
                     qPrintable(statistics[line] + QStringLiteral(" | ") + expected[line]));
        }
    }

    // Kept for the next start.
    fixture.closeWindow();
    QFile options(fixture.optionsPath());
    QVERIFY(options.open(QIODevice::ReadOnly));
    QVERIFY(options.readAll().contains("<SendMqtt></SendMqtt>\n    <Limits>LINE1=0.1:0.2</Limits>"));
}

// An alarm raised before the recording began is the journal's first line
// after its header, said once in the window: the journal never tells of a
// clearing alone.
void TestAlarmWindow::alarmStandingAtTheStart()
{
    PluggedMeter plugged;
    scaleFirstInput(*plugged.meter, 2.0);
    QTemporaryDir folder;
    WindowFixture fixture(optionsFileWith(folder, "<Limits>LINE1=0.1:0.2</Limits>"));
    fixture.action("actionConnect")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(fixture.messages().filter(QStringLiteral("Line1 alarm:")).size(), 1, Timeout);
    fixture.action("actionStart")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.tableRows() >= 2, Timeout);
    fixture.action("actionStop")->trigger();

    const QStringList lines = journalLines();
    const int headerRow = lines.indexOf(QRegularExpression(QStringLiteral("^No[.],.*")));
    QVERIFY2(headerRow > 0 && lines.value(headerRow + 1).startsWith(QStringLiteral("# Alarm Line1: ")),
             qPrintable(lines.mid(0, headerRow + 3).join('|')));
    QCOMPARE(lines.filter(QStringLiteral("# Alarm")).size(), 1);
    QCOMPARE(fixture.messages().filter(QStringLiteral("alarm")).size(), 1);
}

void TestAlarmWindow::stopConditionEndsRecording()
{
    PluggedMeter plugged;
    ModalAnswerer answerer;
    QTemporaryDir dir;
    // The reading that stops it also raises an alarm.
    WindowFixture fixture(optionsFileWith(dir, "<Limits>LINE1=:0.2</Limits><StopWhen>LINE1&gt;0.2</StopWhen>"));
    fixture.action("actionConnect")->trigger();
    fixture.action("actionStart")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.tableRows() >= 3, Timeout);
    scaleFirstInput(*plugged.meter, 2.0);
    QTRY_VERIFY_WITH_TIMEOUT(fixture.action("actionStart")->isEnabled(), Timeout);
    QCOMPARE(fixture.messages().filter(QStringLiteral("Recording stopped: LINE1>0.2 met by 0.2")).size(), 1);
    const int kept = fixture.tableRows();
    QTest::qWait(1000); // readings go on arriving; none is kept
    QCOMPARE(fixture.tableRows(), kept);

    const QStringList lines = journalLines();
    QVERIFY(lines.last().startsWith(QStringLiteral("# Closed: ")));
    // Its alarm, then the stop, before the journal's end.
    const QStringList notes = lines.filter(QRegularExpression(QStringLiteral("^# (Alarm|Stopped)")));
    QCOMPARE(notes.size(), 2);
    QVERIFY2(notes[0].startsWith(QStringLiteral("# Alarm Line1: ")) && notes[1].startsWith(QStringLiteral("# Stopped: LINE1>0.2 met by 0.2")),
             qPrintable(notes.join(" | ")));
    // Only the last reading is beyond the condition.
    const QStringList readings = lines.filter(QRegularExpression(QStringLiteral("^\\d")));
    QCOMPARE(readings.size(), kept);
    for (int i = 0; i < readings.size(); ++i)
        QCOMPARE(readings[i].split(',')[4].toDouble() > 0.2, i == readings.size() - 1);
}

QTEST_MAIN(TestAlarmWindow)
#include "tst_alarmwindow.moc"
