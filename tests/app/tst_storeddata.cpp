// The meter's memory from the window, against the simulated meter: store,
// delete with its dialog, and the upload into "Store Data" with its progress
// dialog, run to the end, cancelled, or cut off by a lost link.
#include "apptestsupport.h"
#include "dmmdata.h"
#include "modalanswerer.h"
#include "nokerneldevices.h"
#include "simulatedmeter.h"
#include "testrecords.h"
#include "widget.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTreeView>

namespace {

constexpr int LinkTimeoutMs = 30000;

QAbstractItemModel *table(Widget *w)
{
    return w->findChild<QTableView *>(QStringLiteral("tv"))->model();
}

QString storeName(Widget *w)
{
    return w->findChild<QTreeView *>(QStringLiteral("tvItems"))->model()->index(0, 0).data().toString();
}

bool sent(const dmmsim::SimulatedMeter &meter, const std::string &command)
{
    for (const std::string &line : meter.commandLog()) {
        if (line == command)
            return true;
    }
    return false;
}

} // namespace

class TestStoredData : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void downloadRunsToTheEnd();
    void downloadEndedEarlyKeepsWhatArrived_data();
    void downloadEndedEarlyKeepsWhatArrived();
    void storeAndDelete();
    void uploadedReadingsGoToStoreDataOnly();

private:
    void connectWindow();

    NoKernelDevices noUsbDevices;
    std::shared_ptr<dmmsim::SimulatedMeter> meter;
    std::unique_ptr<WindowFixture> fixture;
};

void TestStoredData::initTestCase()
{
    QVERIFY(noUsbDevices.isValid());
}

void TestStoredData::init()
{
    meter = std::make_shared<dmmsim::SimulatedMeter>();
    meter->fillMemory(25);
    visa::addInProcessInstrument(meter);
    fixture = std::make_unique<WindowFixture>();
}

void TestStoredData::cleanup()
{
    fixture->closeWindow();
    fixture.reset();
    visa::removeInProcessInstrument(meter.get());
    meter.reset();
}

void TestStoredData::connectWindow()
{
    fixture->action("actionConnect")->trigger();
    // The first reading brings the count of stored readings.
    QTRY_COMPARE_WITH_TIMEOUT(storeName(fixture->window()), QStringLiteral("Store Data(25)"), LinkTimeoutMs);
}

void TestStoredData::downloadRunsToTheEnd()
{
    ModalAnswerer answerer;
    QString title;
    // The dialog is left alone: it ends by itself.
    answerer.setDialogHandler([&](QDialog *dialog) { title = dialog->windowTitle(); });
    Widget *w = fixture->window();
    auto *download = w->findChild<QPushButton *>(QStringLiteral("btnStoreDownload"));

    // Not connected: nothing happens.
    download->click();
    QCOMPARE(answerer.dialogCount(), 0);

    connectWindow();
    for (int round = 1; round <= 2; ++round) {
        // Then "Store Data" is active and the control panel with its button
        // is disabled: the item's own action downloads again.
        if (round == 1)
            download->click();
        else
            fixture->action("actionItemDownload")->trigger();
        QCOMPARE(answerer.dialogCount(), round);
        QCOMPARE(title, QStringLiteral("Downloading..."));
        // A second download starts from an empty "Store Data".
        QCOMPARE(table(w)->rowCount(), 25);
        QCOMPARE(table(w)->index(24, 1).data().toString(), QString()); // a stored reading has no time
        QVERIFY(!fixture->action("actionStart")->isEnabled());
        QVERIFY(!w->findChild<QWidget *>(QStringLiteral("frame_2"))->isEnabled());
    }
    // The link carries on after the uploads.
    QVERIFY(fixture->action("actionDisconnect")->isEnabled());
}

void TestStoredData::downloadEndedEarlyKeepsWhatArrived_data()
{
    QTest::addColumn<bool>("unplug");
    QTest::newRow("cancelled half way") << false;
    QTest::newRow("link lost half way") << true;
}

void TestStoredData::downloadEndedEarlyKeepsWhatArrived()
{
    QFETCH(bool, unplug);

    ModalAnswerer answerer;
    answerer.setDialogHandler([&](QDialog *dialog) {
        auto *progress = dialog->findChild<QProgressBar *>(QStringLiteral("progressBar"));
        QObject::connect(progress, &QProgressBar::valueChanged, dialog, [=](int value) {
            if (value != 12)
                return;
            if (unplug)
                meter->unplug();
            else
                dialog->findChild<QPushButton *>(QStringLiteral("btnCancel"))->click();
        });
    });
    Widget *w = fixture->window();
    connectWindow();
    w->findChild<QPushButton *>(QStringLiteral("btnStoreDownload"))->click();
    // Back from the dialog: what arrived is kept, the rest never comes.
    const int kept = table(w)->rowCount();
    QVERIFY2(kept >= 12 && kept < 25, qPrintable(QString::number(kept)));
    QTest::qWait(500);
    QCOMPARE(table(w)->rowCount(), kept);
    if (unplug) {
        // The lost link is reported, by the warning the reconnect shows beside the window.
        const auto warned = [w] {
            for (const QMessageBox *box : w->findChildren<QMessageBox *>()) {
                if (box->isVisible() && box->text() == QStringLiteral("Communication timed out, please reconnect."))
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(warned(), LinkTimeoutMs);
        QVERIFY(fixture->action("actionConnect")->isEnabled());
    }
}

void TestStoredData::storeAndDelete()
{
    ModalAnswerer answerer;
    QString range;
    bool all = false;
    answerer.setDialogHandler([&](QDialog *dialog) {
        range = dialog->findChild<QLabel *>(QStringLiteral("label"))->text();
        auto *index = dialog->findChild<QSpinBox *>(QStringLiteral("spIndex"));
        QCOMPARE(index->maximum(), 25);
        if (!all) {
            dialog->reject();
            return;
        }
        dialog->findChild<QCheckBox *>(QStringLiteral("cbAll"))->setChecked(true);
        QVERIFY(!index->isEnabled());
        dialog->accept();
    });
    Widget *w = fixture->window();
    connectWindow();
    auto *remove = w->findChild<QPushButton *>(QStringLiteral("btnStoreDelete"));
    QVERIFY(remove->isEnabled());

    remove->click(); // cancelled
    QCOMPARE(range, QStringLiteral("Index:(1-25)"));
    all = true;
    remove->click();
    QTRY_VERIFY_WITH_TIMEOUT(sent(*meter, "MEMory:DELete ALL"), LinkTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(storeName(w), QStringLiteral("Store Data(0)"), LinkTimeoutMs);
    QVERIFY(!remove->isEnabled());
    // Only the accepted dialog sent a delete.
    int deletes = 0;
    for (const std::string &line : meter->commandLog())
        deletes += line.rfind("MEMory:DELete", 0) == 0;
    QCOMPARE(deletes, 1);

    w->findChild<QPushButton *>(QStringLiteral("btnStore"))->click();
    QTRY_COMPARE_WITH_TIMEOUT(storeName(w), QStringLiteral("Store Data(1)"), LinkTimeoutMs);
    QCOMPARE(meter->storedCount(), 1);
}

void TestStoredData::uploadedReadingsGoToStoreDataOnly()
{
    Widget *w = fixture->window();
    auto record = baseline();
    record->isStore = true;
    QMetaObject::invokeMethod(w, "slotDisplayStore", Qt::DirectConnection, Q_ARG(const DmmData *, record.release()));
    // Measure1 is active: its table stays as it was.
    QCOMPARE(table(w)->rowCount(), 0);
    auto *tree = w->findChild<QTreeView *>(QStringLiteral("tvItems"));
    tree->setCurrentIndex(tree->model()->index(0, 0));
    QMetaObject::invokeMethod(w, "on_actionItemSetToActive_triggered", Qt::DirectConnection);
    QCOMPARE(table(w)->rowCount(), 1);
}

QTEST_MAIN(TestStoredData)
#include "tst_storeddata.moc"
