// A lost link reconnected by the window, against the simulated meter: a
// silence and a pulled cable while recording (one journal with the gaps
// noted), the event loop kept free while the meter is silent, a recording
// the user ended meanwhile that stays ended, and the ways a reconnect must
// end (Disconnect, Close, the meter switched to local).
#include "apptestsupport.h"
#include "modalanswerer.h"
#include "nokerneldevices.h"
#include "recordingjournal.h"
#include "simulatedmeter.h"
#include "widget.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace {

constexpr int LinkTimeoutMs = 60000;
// Far above what a loaded machine under a sanitizer makes of a free event
// loop, far below one try of a query (2 s) held on the GUI thread.
constexpr qint64 FreezeMs = 1000;
const QString LossWarning = QStringLiteral("Communication timed out, please reconnect.");

int messagesWith(const WindowFixture &fixture, const QString &text)
{
    return fixture.messages().filter(text).size();
}

// The visible warnings of a lost link that the window shows without a modal loop.
int lossWarnings(const WindowFixture &fixture)
{
    int shown = 0;
    for (const QMessageBox *box : fixture.window()->findChildren<QMessageBox *>())
        shown += box->isVisible() && box->text() == LossWarning ? 1 : 0;
    return shown;
}

// The longest time the event loop left a 10 ms timer waiting.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        clock.start();
        connect(&timer, &QTimer::timeout, this, [this] {
            const qint64 now = clock.elapsed();
            longest = qMax(longest, now - last - Interval);
            last = now;
        });
        timer.start(Interval);
    }
    qint64 longestMs() const { return longest; }

private:
    static constexpr int Interval = 10;
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
};

// The meter asked the same query again: the second try of one it left unanswered.
bool queryRetried(const dmmsim::SimulatedMeter &meter, std::size_t since)
{
    const std::vector<std::string> log = meter.commandLog();
    return log.size() >= since + 2 && log[log.size() - 1] == log[log.size() - 2];
}

QTreeView *tree(const WindowFixture &fixture)
{
    return fixture.window()->findChild<QTreeView *>(QStringLiteral("tvItems"));
}

void selectItem(const WindowFixture &fixture, const QString &name)
{
    const QAbstractItemModel *model = tree(fixture)->model();
    tree(fixture)->setCurrentIndex(
        model->match(model->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly | Qt::MatchRecursive).value(0));
}

enum class Loss { Silence, Unplug };
enum class Ending { Disconnect, Close, Local, DisconnectWhileSilent };
enum class UserAction { ActivateOther, NewItem, DeleteRecorded };

} // namespace

class TestReconnectWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(noUsbDevices.isValid()); }
    void init()
    {
        meter = std::make_shared<dmmsim::SimulatedMeter>();
        visa::addInProcessInstrument(meter);
    }
    void cleanup()
    {
        visa::removeInProcessInstrument(meter.get());
        meter.reset();
    }

    void recordingSurvivesLosses_data();
    void recordingSurvivesLosses();
    void recordingEndedMeanwhile_data();
    void recordingEndedMeanwhile();
    void reconnectEnds_data();
    void reconnectEnds();

private:
    NoKernelDevices noUsbDevices;
    std::shared_ptr<dmmsim::SimulatedMeter> meter;
};

void TestReconnectWindow::recordingSurvivesLosses_data()
{
    QTest::addColumn<QList<int>>("losses");
    QTest::newRow("silent, then a pulled cable") << QList<int>{int(Loss::Silence), int(Loss::Unplug)};
}

void TestReconnectWindow::recordingSurvivesLosses()
{
    QFETCH(QList<int>, losses);
    ModalAnswerer answerer;
    WindowFixture fixture;
    fixture.action("actionConnect")->trigger();
    fixture.action("actionStart")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.tableRows() >= 3, LinkTimeoutMs);

    int lost = 0;
    for (const int loss : losses) {
        const int before = fixture.tableRows();
        QElapsedTimer sinceLoss;
        sinceLoss.start();
        std::unique_ptr<StallProbe> probe;
        if (Loss(loss) == Loss::Silence) {
            meter->answerAgainAfter(std::chrono::milliseconds(8000)); // past the three tries
            probe = std::make_unique<StallProbe>();
            meter->goSilentAfter(0);
        } else {
            meter->replugAfter(std::chrono::milliseconds(1500));
            meter->unplug();
        }
        ++lost;
        QTRY_COMPARE_WITH_TIMEOUT(lossWarnings(fixture), 1, LinkTimeoutMs);
        if (probe) {
            // Three unanswered tries of 2 s, and the close: about 6.5 s, and
            // the window free all along.
            QVERIFY2(sinceLoss.elapsed() >= 5500, qPrintable(QString::number(sinceLoss.elapsed())));
            QVERIFY2(probe->longestMs() < FreezeMs, qPrintable(QString::number(probe->longestMs())));
            qInfo("longest event-loop stall while the meter was silent: %lld ms", probe->longestMs());
        }
        QCOMPARE(messagesWith(fixture, "was lost at"), lost);

        QTRY_COMPARE_WITH_TIMEOUT(messagesWith(fixture, "Recording resumed."), lost, LinkTimeoutMs);
        QCOMPARE(messagesWith(fixture, "was lost at"), lost); // one loss, told once
        QTRY_COMPARE_WITH_TIMEOUT(lossWarnings(fixture), 0, LinkTimeoutMs);
        QCOMPARE(linkActions(fixture), (LinkActions{false, true, false, true, true}));
        // The same item goes on growing.
        QTRY_VERIFY_WITH_TIMEOUT(fixture.tableRows() >= before + 3, LinkTimeoutMs);
    }
    QVERIFY(answerer.boxes().isEmpty());

    // One recording, one journal: each gap is a comment between its readings.
    fixture.action("actionStop")->trigger();
    const QStringList files = QDir(RecordingJournal::folder()).entryList({QStringLiteral("*.csv")}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QFile journal(QDir(RecordingJournal::folder()).filePath(files.first()));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = journal.readAll().split('\n');
    int gaps = 0;
    for (int i = 1; i + 1 < lines.size(); ++i) {
        if (lines[i].startsWith("# Link lost")) {
            ++gaps;
            // From the last reading before the gap to the first after it.
            QCOMPARE(lines[i], "# Link lost: " + lines[i - 1].split(',').value(1) + "; resumed: "
                                   + lines[i + 1].split(',').value(1));
        }
    }
    QCOMPARE(gaps, losses.size());
}

void TestReconnectWindow::recordingEndedMeanwhile_data()
{
    QTest::addColumn<int>("action");
    QTest::newRow("another item made active") << int(UserAction::ActivateOther);
    QTest::newRow("a new item") << int(UserAction::NewItem);
    QTest::newRow("the recorded item deleted") << int(UserAction::DeleteRecorded);
}

void TestReconnectWindow::recordingEndedMeanwhile()
{
    QFETCH(int, action);
    ModalAnswerer answerer;
    answerer.setBoxAnswer(QMessageBox::Yes);
    QStringList names{QStringLiteral("Spare"), QStringLiteral("New")};
    answerer.setDialogHandler([&names](QDialog *dialog) {
        auto *input = qobject_cast<QInputDialog *>(dialog);
        input->setTextValue(names.takeFirst());
        input->accept();
    });
    WindowFixture fixture;
    QMetaObject::invokeMethod(fixture.window(), "on_actionItemNew_triggered"); // Spare, active
    selectItem(fixture, QStringLiteral("Measure1"));
    fixture.action("actionItemSetToActive")->trigger();
    fixture.action("actionConnect")->trigger();
    fixture.action("actionStart")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.tableRows() >= 3, LinkTimeoutMs);

    meter->replugAfter(std::chrono::milliseconds(2000));
    meter->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(messagesWith(fixture, "was lost at"), 1, LinkTimeoutMs);
    switch (UserAction(action)) {
    case UserAction::ActivateOther:
        selectItem(fixture, QStringLiteral("Spare"));
        fixture.action("actionItemSetToActive")->trigger();
        break;
    case UserAction::NewItem:
        QMetaObject::invokeMethod(fixture.window(), "on_actionItemNew_triggered");
        break;
    case UserAction::DeleteRecorded:
        selectItem(fixture, QStringLiteral("Measure1"));
        QMetaObject::invokeMethod(fixture.window(), "on_actionItemDelete_triggered");
        break;
    }
    QTRY_COMPARE_WITH_TIMEOUT(messagesWith(fixture, "is back at"), 1, LinkTimeoutMs);
    QCOMPARE(messagesWith(fixture, "Recording resumed."), 0);
    QCOMPARE(linkActions(fixture), Connected); // Start offered again, nothing recording

    // Live passes go on; the item now active keeps none of them.
    const std::size_t heard = meter->commandLog().size();
    QTRY_VERIFY_WITH_TIMEOUT(meter->commandLog().size() >= heard + 20, LinkTimeoutMs);
    QCOMPARE(fixture.tableRows(), 0);
}

void TestReconnectWindow::reconnectEnds_data()
{
    QTest::addColumn<int>("ending");
    QTest::newRow("Disconnect during the wait") << int(Ending::Disconnect);
    QTest::newRow("Close during the wait") << int(Ending::Close);
    QTest::newRow("meter switched to local") << int(Ending::Local);
    QTest::newRow("Disconnect while a query waits on a silent meter") << int(Ending::DisconnectWhileSilent);
}

void TestReconnectWindow::reconnectEnds()
{
    QFETCH(int, ending);
    ModalAnswerer answerer;
    WindowFixture fixture;
    fixture.action("actionConnect")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(meter->isRemote(), LinkTimeoutMs);

    const bool lossTold = Ending(ending) == Ending::Disconnect || Ending(ending) == Ending::Close;
    if (Ending(ending) == Ending::DisconnectWhileSilent) {
        const std::size_t atSilence = meter->commandLog().size();
        meter->goSilentAfter(0);
        QTRY_VERIFY_WITH_TIMEOUT(queryRetried(*meter, atSilence), LinkTimeoutMs);
        StallProbe probe;
        fixture.action("actionDisconnect")->trigger();
        QCOMPARE(linkActions(fixture), NotConnected);
        QVERIFY2(probe.longestMs() < FreezeMs, qPrintable(QString::number(probe.longestMs())));
    } else if (Ending(ending) == Ending::Local) {
        meter->pressLocal();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.boxes().size(), 1, LinkTimeoutMs);
        QCOMPARE(answerer.boxes().first().text, QStringLiteral("The device has left remote mode, please reconnect."));
    } else {
        meter->replugAfter(std::chrono::milliseconds(1500));
        meter->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(messagesWith(fixture, "was lost at"), 1, LinkTimeoutMs);
        if (Ending(ending) == Ending::Disconnect) {
            fixture.action("actionDisconnect")->trigger();
            QCOMPARE(lossWarnings(fixture), 0);
        } else {
            fixture.action("actionClose")->trigger();
            QVERIFY(!fixture.window()->isVisible());
        }
    }
    const std::size_t heard = meter->commandLog().size();
    // Well past the meter's return and a retry: nothing reopens the link.
    QTest::qWait(3500);
    QCOMPARE(meter->commandLog().size(), heard);
    QCOMPARE(linkActions(fixture), NotConnected);
    QCOMPARE(messagesWith(fixture, "is back at"), 0);
    QCOMPARE(messagesWith(fixture, "was lost at"), lossTold ? 1 : 0);
    QCOMPARE(answerer.boxes().size(), Ending(ending) == Ending::Local ? 1 : 0);
}

QTEST_MAIN(TestReconnectWindow)
#include "tst_reconnectwindow.moc"
