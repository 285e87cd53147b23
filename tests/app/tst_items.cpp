// Measurement items and recording, driven through the window by object
// name: names proposed and refused, activation, deletion, the item tool bar,
// and which readings the active item keeps.
#include "apptestsupport.h"
#include "dmmchart.h"
#include "dmmdata.h"
#include "histogram.h"
#include "itemdata.h"
#include "itemviews.h"
#include "modalanswerer.h"
#include "nokerneldevices.h"
#include "simulatedmeter.h"
#include "tdmsummarytablewgt.h"
#include "testrecords.h"
#include "tvitemmodel.h"
#include "widget.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QFile>
#include <QInputDialog>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>

namespace {

QTreeView *tree(Widget *w)
{
    return w->findChild<QTreeView *>(QStringLiteral("tvItems"));
}

QAbstractItemModel *table(Widget *w)
{
    return w->findChild<QTableView *>(QStringLiteral("tv"))->model();
}

// The node of that name; "Store Data" also once it shows its count.
QModelIndex node(Widget *w, const QString &name)
{
    const QAbstractItemModel *model = tree(w)->model();
    const QModelIndexList found = model->match(model->index(0, 0), Qt::DisplayRole, name, 1,
                                               Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty() && name == QLatin1String("Store Data"))
        return model->index(0, 0);
    return found.value(0);
}

QStringList names(Widget *w)
{
    QStringList all;
    const QAbstractItemModel *model = tree(w)->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex root = model->index(row, 0);
        all << root.data().toString();
        for (int child = 0; child < model->rowCount(root); ++child)
            all << QStringLiteral("  ") + model->index(child, 0, root).data().toString();
    }
    return all;
}

QString activeName(Widget *w)
{
    const QModelIndexList found = tree(w)->model()->match(tree(w)->model()->index(0, 0), TvItemModel::ActiveRole,
                                                          true, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? QString() : found.first().data().toString();
}

// Answers each name prompt with the next text, noting what it proposed.
void answerNames(ModalAnswerer &answerer, QStringList *answers, QStringList *proposed)
{
    answerer.setDialogHandler([=](QDialog *dialog) {
        auto *input = qobject_cast<QInputDialog *>(dialog);
        proposed->append(input->textValue());
        if (answers->isEmpty()) {
            input->reject();
            return;
        }
        input->setTextValue(answers->takeFirst());
        input->accept();
    });
}

void invoke(Widget *w, const char *slot)
{
    QMetaObject::invokeMethod(w, slot, Qt::DirectConnection);
}

void activate(Widget *w, const QString &name)
{
    tree(w)->setCurrentIndex(node(w, name));
    invoke(w, "on_actionItemSetToActive_triggered");
}

void writeOptions(const QString &path, int samplePoints, bool infinite)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<?xml version=\"1.0\"?><options><SamplePoints>%1</SamplePoints>"
                              "<Infinite>%2</Infinite></options>")
                   .arg(samplePoints)
                   .arg(infinite ? 1 : 0)
                   .toUtf8());
}

// A simulated meter listed on the VISA layer for as long as it lives, so
// that a failed check leaves none behind for the next test.
struct ListedMeter
{
    ListedMeter() : meter(std::make_shared<dmmsim::SimulatedMeter>()) { visa::addInProcessInstrument(meter); }
    ~ListedMeter() { visa::removeInProcessInstrument(meter.get()); }
    ListedMeter(const ListedMeter &) = delete;
    ListedMeter &operator=(const ListedMeter &) = delete;

    NoKernelDevices noUsbDevices;
    std::shared_ptr<dmmsim::SimulatedMeter> meter;
};

std::unique_ptr<DmmData> reading(const char *function2 = "VOLT", int valueMode2 = 0)
{
    auto record = baseline();
    record->channels[1]->functions[1] = QString::fromLatin1(function2);
    record->channels[1]->valueModes[1] = valueMode2;
    return record;
}

} // namespace

class TestItems : public QObject
{
    Q_OBJECT
private slots:
    void namesProposedAndRefused();
    void activation();
    void deleting();
    void toolBarPerNode();
    void recording_data();
    void recording();
    void recordingStopsOnItemChanges();
    void itemsNeverMixFunctions_data();
    void itemsNeverMixFunctions();
    void closingKeepsOnlyMeasuredReadings_data();
    void closingKeepsOnlyMeasuredReadings();
    void viewsLetGoOfRecordsThatGo_data();
    void viewsLetGoOfRecordsThatGo();
    void meterFeedsItemsThroughSwitchesAndDeletes();
};

void TestItems::namesProposedAndRefused()
{
    ModalAnswerer answerer;
    QStringList answers{QStringLiteral("Measure2"), QStringLiteral("measure low"), QStringLiteral("  "),
                        QStringLiteral("<b>x</b>"), QStringLiteral("   "), QStringLiteral("  Bench A  "),
                        QString(50000, QLatin1Char('n'))};
    QStringList proposed;
    answerNames(answerer, &answers, &proposed);
    WindowFixture fixture;
    Widget *w = fixture.window();
    QCOMPARE(names(w), (QStringList{"Store Data", "Live Data", "  Measure1"}));
    QCOMPARE(activeName(w), QStringLiteral("Measure1"));

    for (int i = 0; i < 4; ++i)
        invoke(w, "on_actionItemNew_triggered");
    // Roots and a lower-case "measure" are not counted; blanks create nothing.
    QCOMPARE(proposed, (QStringList{"Measure2", "Measure3", "Measure3", "Measure3"}));
    QCOMPARE(names(w), (QStringList{"Store Data", "Live Data", "  Measure1", "  Measure2", "  measure low",
                                    "  <b>x</b>"}));
    // A new item is the active and current one; a name is shown as written.
    QCOMPARE(activeName(w), QStringLiteral("<b>x</b>"));

    // Renaming to blanks keeps the name; a name is trimmed.
    tree(w)->setCurrentIndex(node(w, QStringLiteral("Measure2")));
    invoke(w, "on_actionItemRename_triggered");
    QCOMPARE(proposed.last(), QStringLiteral("Measure2"));
    QVERIFY(node(w, QStringLiteral("Measure2")).isValid());
    invoke(w, "on_actionItemRename_triggered");
    QVERIFY(node(w, QStringLiteral("Bench A")).isValid());
    // A name is cut to 200 characters in the box.
    invoke(w, "on_actionItemRename_triggered");
    QVERIFY(node(w, QString(200, QLatin1Char('n'))).isValid());

    // "Store Data" is never renamed.
    tree(w)->setCurrentIndex(node(w, QStringLiteral("Store Data")));
    const int prompts = answerer.dialogCount();
    invoke(w, "on_actionItemRename_triggered");
    QCOMPARE(answerer.dialogCount(), prompts);
}

void TestItems::activation()
{
    WindowFixture fixture;
    Widget *w = fixture.window();
    show(w, reading());
    auto *frame = w->findChild<QWidget *>(QStringLiteral("frame_2"));
    QSignalSpy resets(table(w), &QAbstractItemModel::modelReset);

    // "Live Data" is no item to show.
    activate(w, QStringLiteral("Live Data"));
    QCOMPARE(activeName(w), QStringLiteral("Measure1"));
    // The active item again: the views are not rebuilt.
    activate(w, QStringLiteral("Measure1"));
    QCOMPARE(resets.count(), 0);

    activate(w, QStringLiteral("Store Data"));
    QVERIFY(activeName(w).startsWith(QLatin1String("Store Data")));
    QVERIFY(!frame->isEnabled());
    QVERIFY(!w->findChild<QWidget *>(QStringLiteral("lcd"))->isEnabled());
    invoke(w, "on_actionStart_triggered");
    QVERIFY(!fixture.action("actionStop")->isEnabled());
    // Readings neither change the frozen panel nor reach an item.
    auto other = reading();
    other->channels[0]->valueTexts[0] = QStringLiteral("99.999");
    show(w, std::move(other));
    QVERIFY(!w->findChild<QWidget *>(QStringLiteral("lcdLine1Value"))->property("text").toString().contains("99.999"));
    QCOMPARE(table(w)->rowCount(), 0);

    activate(w, QStringLiteral("Measure1"));
    QVERIFY(frame->isEnabled());
}

void TestItems::deleting()
{
    ModalAnswerer answerer;
    answerer.setBoxAnswer(QMessageBox::Yes);
    QStringList answers{QStringLiteral("Spare"), QStringLiteral("Other")};
    QStringList proposed;
    answerNames(answerer, &answers, &proposed);
    WindowFixture fixture;
    Widget *w = fixture.window();

    invoke(w, "on_actionItemNew_triggered"); // Spare
    activate(w, QStringLiteral("Measure1"));
    invoke(w, "on_actionStart_triggered");
    for (int i = 0; i < 3; ++i)
        show(w, reading());
    QCOMPARE(table(w)->rowCount(), 3);

    // Deleting another item leaves the active item's rows on view.
    tree(w)->setCurrentIndex(node(w, QStringLiteral("Spare")));
    invoke(w, "on_actionItemDelete_triggered");
    QVERIFY(!node(w, QStringLiteral("Spare")).isValid());
    QCOMPARE(activeName(w), QStringLiteral("Measure1"));
    QCOMPARE(table(w)->rowCount(), 3);

    // No: nothing is deleted. Roots are never deleted.
    answerer.setBoxAnswer(QMessageBox::No);
    tree(w)->setCurrentIndex(node(w, QStringLiteral("Measure1")));
    invoke(w, "on_actionItemDelete_triggered");
    QVERIFY(node(w, QStringLiteral("Measure1")).isValid());
    answerer.setBoxAnswer(QMessageBox::Yes);
    for (const char *root : {"Store Data", "Live Data"}) {
        tree(w)->setCurrentIndex(node(w, QString::fromLatin1(root)));
        invoke(w, "on_actionItemDelete_triggered");
        QVERIFY(node(w, QString::fromLatin1(root)).isValid());
    }

    // The active item deleted: the next current item becomes active, and
    // later readings go to it, never to the deleted one.
    invoke(w, "on_actionItemNew_triggered"); // Other
    activate(w, QStringLiteral("Measure1"));
    tree(w)->setCurrentIndex(node(w, QStringLiteral("Measure1")));
    invoke(w, "on_actionItemDelete_triggered");
    QCOMPARE(activeName(w), QStringLiteral("Other"));
    QCOMPARE(table(w)->rowCount(), 0);
    QVERIFY(!fixture.action("actionStop")->isEnabled()); // recording stopped

    // The last item deleted while recording: none is active, recording
    // stops, the display is greyed rather than frozen as if live, and
    // readings are freed.
    invoke(w, "on_actionStart_triggered");
    show(w, reading());
    QVERIFY(fixture.action("actionStop")->isEnabled());
    tree(w)->setCurrentIndex(node(w, QStringLiteral("Other")));
    invoke(w, "on_actionItemDelete_triggered");
    QCOMPARE(names(w), (QStringList{"Store Data(0)", "Live Data"}));
    QVERIFY(!fixture.action("actionStop")->isEnabled());
    QVERIFY(!w->findChild<QWidget *>(QStringLiteral("lcd"))->isEnabled());
    invoke(w, "on_actionStart_triggered");
    QVERIFY(!fixture.action("actionStop")->isEnabled());
    show(w, reading());
    QCOMPARE(table(w)->rowCount(), 0);
    QVERIFY(!w->findChild<QWidget *>(QStringLiteral("lcd"))->isEnabled());
}

void TestItems::toolBarPerNode()
{
    WindowFixture fixture;
    Widget *w = fixture.window();
    auto *bar = w->findChild<QToolBar *>(QStringLiteral("itemToolBar"));
    const auto shown = [&] {
        QStringList all;
        for (const QAction *action : bar->actions())
            all << action->objectName();
        return all;
    };
    QCOMPARE(shown(), (QStringList{"actionItemSetToActive", "actionItemRename", "actionItemNew", "actionItemDelete",
                                   "actionItemOpen"}));
    tree(w)->setCurrentIndex(node(w, QStringLiteral("Store Data")));
    QCOMPARE(shown(), (QStringList{"actionItemSetToActive", "actionItemDownload"}));
    tree(w)->setCurrentIndex(node(w, QStringLiteral("Live Data")));
    QCOMPARE(shown(), (QStringList{"actionItemNew", "actionItemOpen"}));
}

void TestItems::recording_data()
{
    QTest::addColumn<int>("samplePoints");
    QTest::addColumn<bool>("infinite");
    // Line-2 function and value mode of each reading, as "FUNC/mode".
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("lastFunction2");

    QStringList twelve;
    for (int i = 0; i < 12; ++i)
        twelve << QStringLiteral("VOLT/0");
    QTest::newRow("limit 10 keeps 10") << 10 << false << twelve << 10 << "VOLT";
    QTest::newRow("unlimited ignores the limit") << 10 << true << twelve << 12 << "VOLT";
    QTest::newRow("a line-2 function change starts anew")
        << 100 << true << QStringList{"VOLT/0", "VOLT/0", "VOLT/0", "VOLT/0", "VOLT/0", "DBM/0"} << 1 << "DBM";
    QTest::newRow("a change on a no-value reading still starts anew")
        << 100 << true << QStringList{"VOLT/0", "VOLT/0", "DBM/3", "DBM/0"} << 1 << "DBM";
    QTest::newRow("no value on line 2 is not kept")
        << 100 << true << QStringList{"VOLT/0", "VOLT/3", "VOLT/0"} << 2 << "VOLT";
    QTest::newRow("a full item is not restarted")
        << 2 << false << QStringList{"VOLT/0", "VOLT/0", "DBM/0", "DBM/0"} << 2 << "VOLT";
}

void TestItems::recording()
{
    QFETCH(int, samplePoints);
    QFETCH(bool, infinite);
    QFETCH(QStringList, readings);
    QFETCH(int, rows);
    QFETCH(QString, lastFunction2);

    QTemporaryDir dir;
    const QString options = dir.filePath(QStringLiteral("options.xml"));
    writeOptions(options, samplePoints, infinite);
    WindowFixture fixture(options);
    Widget *w = fixture.window();
    // The first reading of a new item is never a restart, whatever came before.
    show(w, reading("DBV"));
    invoke(w, "on_actionStart_triggered");
    QVERIFY(fixture.action("actionStop")->isEnabled());
    for (const QString &entry : readings)
        show(w, reading(qPrintable(entry.section(QLatin1Char('/'), 0, 0)), entry.section(QLatin1Char('/'), 1).toInt()));
    QCOMPARE(table(w)->rowCount(), rows);
    QCOMPARE(table(w)->index(rows - 1, 0).data().toInt(), rows);
    QCOMPARE(table(w)->index(rows - 1, 5).data().toString(), lastFunction2);
    QVERIFY(fixture.action("actionStop")->isEnabled());
}

void TestItems::recordingStopsOnItemChanges()
{
    ModalAnswerer answerer;
    QStringList answers{QStringLiteral("Second"), QStringLiteral("Renamed")};
    QStringList proposed;
    answerNames(answerer, &answers, &proposed);
    WindowFixture fixture;
    Widget *w = fixture.window();
    QAction *stop = fixture.action("actionStop");

    const auto startAndCheckStoppedBy = [&](const char *what, const std::function<void()> &change) {
        invoke(w, "on_actionStart_triggered");
        QVERIFY2(stop->isEnabled(), what);
        change();
        QVERIFY2(!stop->isEnabled(), what);
    };
    startAndCheckStoppedBy("new item", [&] { invoke(w, "on_actionItemNew_triggered"); });
    startAndCheckStoppedBy("rename", [&] { invoke(w, "on_actionItemRename_triggered"); });
    startAndCheckStoppedBy("switch", [&] { activate(w, QStringLiteral("Measure1")); });
    startAndCheckStoppedBy("stop", [&] { invoke(w, "on_actionStop_triggered"); });
    // Not recording: readings are not kept.
    show(w, reading());
    QCOMPARE(table(w)->rowCount(), 0);
}

void TestItems::itemsNeverMixFunctions_data()
{
    // Measure1 records three readings of `first`, Second two of `second`;
    // back on Measure1 one reading of `back` arrives.
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("back");
    QTest::addColumn<int>("rows");
    QTest::newRow("another function than its own starts it anew") << "VOLT" << "DBM" << "DBM" << 1;
    QTest::newRow("its own function keeps its readings") << "VOLT" << "DBM" << "VOLT" << 4;
    QTest::newRow("one function everywhere") << "DBM" << "DBM" << "DBM" << 4;
}

void TestItems::itemsNeverMixFunctions()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, back);
    QFETCH(int, rows);

    ModalAnswerer answerer;
    QStringList answers{QStringLiteral("Second")};
    QStringList proposed;
    answerNames(answerer, &answers, &proposed);
    WindowFixture fixture;
    Widget *w = fixture.window();
    const auto record = [&](const QString &function, int count) {
        invoke(w, "on_actionStart_triggered");
        for (int i = 0; i < count; ++i)
            show(w, reading(qPrintable(function)));
        invoke(w, "on_actionStop_triggered");
    };
    record(first, 3);
    invoke(w, "on_actionItemNew_triggered");
    record(second, 2);
    activate(w, QStringLiteral("Measure1"));
    record(back, 1);

    QCOMPARE(table(w)->rowCount(), rows);
    for (int row = 0; row < rows; ++row)
        QCOMPARE(table(w)->index(row, 5).data().toString(), row < rows - 1 ? first : back);
}

void TestItems::closingKeepsOnlyMeasuredReadings_data()
{
    QTest::addColumn<bool>("goLocal"); // else Disconnect is pressed
    QTest::addColumn<int>("afterCommands");
    for (int commands : {0, 1, 3}) {
        QTest::addRow("Disconnect after %d commands", commands) << false << commands;
        QTest::addRow("meter local after %d commands", commands) << true << commands;
    }
}

// Recording while the link is closed, by the user or because the meter went
// local, at several points of the live pass: every row kept was measured by
// a Fetch? of its own, and recording is off once the link is down.
void TestItems::closingKeepsOnlyMeasuredReadings()
{
    QFETCH(bool, goLocal);
    QFETCH(int, afterCommands);

    const ListedMeter listed;
    const std::shared_ptr<dmmsim::SimulatedMeter> &meter = listed.meter;
    {
        ModalAnswerer answerer;
        WindowFixture fixture;
        Widget *w = fixture.window();
        const auto fetches = [&meter] {
            const std::vector<std::string> log = meter->commandLog();
            return std::count_if(log.begin(), log.end(), [](const std::string &line) {
                return line.rfind("Fetch?", 0) == 0;
            });
        };
        long fetchesAtLastRow = -1;
        int unmeasured = 0;
        QObject::connect(table(w), &QAbstractItemModel::rowsInserted, w, [&] {
            const long now = fetches();
            if (fetchesAtLastRow >= 0 && now == fetchesAtLastRow)
                ++unmeasured;
            fetchesAtLastRow = now;
        });

        fixture.action("actionConnect")->trigger();
        fixture.action("actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(table(w)->rowCount() >= 2, 30000);
        if (goLocal) {
            meter->pressLocalAfter(afterCommands);
        } else {
            const size_t mark = meter->commandLog().size() + size_t(afterCommands);
            QTimer press;
            QObject::connect(&press, &QTimer::timeout, w, [&] {
                if (meter->commandLog().size() < mark)
                    return;
                press.stop();
                fixture.action("actionDisconnect")->trigger();
            });
            press.start(0);
            QTRY_VERIFY_WITH_TIMEOUT(!press.isActive(), 30000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(fixture.action("actionConnect")->isEnabled(), 30000);
        QCOMPARE(answerer.boxes().size(), goLocal ? 1 : 0);
        QCOMPARE(unmeasured, 0);
        QVERIFY(!fixture.action("actionStop")->isEnabled());
        fixture.closeWindow();
    }
}

void TestItems::viewsLetGoOfRecordsThatGo_data()
{
    QTest::addColumn<bool>("deleteItem"); // else its records are cleared
    QTest::addColumn<bool>("shown");      // the item on view, else another
    QTest::newRow("shown item cleared") << false << true;
    QTest::newRow("shown item deleted") << true << true;
    QTest::newRow("other item cleared") << false << false;
    QTest::newRow("other item deleted") << true << false;
}

// However an item's records go, the table and the chart showing them are
// emptied first, and views of another item are left alone.
void TestItems::viewsLetGoOfRecordsThatGo()
{
    QFETCH(bool, deleteItem);
    QFETCH(bool, shown);

    QTabWidget tabs;
    auto *table = new TDMSummaryTableWgt;
    auto *chart = new DMMChart;
    auto *histogram = new Histogram;
    tabs.addTab(table, QStringLiteral("Table"));
    tabs.addTab(chart, QStringLiteral("Chart"));
    tabs.addTab(histogram, QStringLiteral("Histogram"));
    ItemViews views(table, chart, histogram);
    views.setUpCharts(&tabs, histogram);

    auto item = std::make_unique<ItemData>(QStringLiteral("Measure1"), ItemData::MeasureData);
    ItemData other(QStringLiteral("Other"), ItemData::MeasureData);
    for (int i = 0; i < 3; ++i) {
        item->appendData(reading().release());
        other.appendData(reading().release());
    }
    views.show(shown ? *item : other);
    QCOMPARE(views.model().rowCount(), 3);

    if (deleteItem)
        item.reset();
    else
        item->clearDatas();
    const int left = shown ? 0 : 3;
    QCOMPARE(views.model().rowCount(), left);
    for (const ChartLine *line : chart->lines())
        QCOMPARE(line->count(), qint64(left));
}

// With the simulated meter feeding readings: records switch owners, are
// deleted with their items and restarts, and go with the window, none twice
// and none lost (checked by the address sanitizer's leak check).
void TestItems::meterFeedsItemsThroughSwitchesAndDeletes()
{
    const ListedMeter listed;
    {
        ModalAnswerer answerer;
        answerer.setBoxAnswer(QMessageBox::Yes);
        QStringList answers{QStringLiteral("Second")};
        QStringList proposed;
        answerNames(answerer, &answers, &proposed);
        WindowFixture fixture;
        Widget *w = fixture.window();
        fixture.action("actionConnect")->trigger();
        fixture.action("actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(table(w)->rowCount() >= 3, 30000);

        invoke(w, "on_actionItemNew_triggered");
        fixture.action("actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(table(w)->rowCount() >= 2, 30000);
        // A function change empties the item and goes on.
        auto *function = w->findChild<QComboBox *>(QStringLiteral("cbbLine2Function"));
        function->setCurrentIndex(function->findData(QStringLiteral("DBM")));
        emit function->activated(function->currentIndex());
        QTRY_COMPARE_WITH_TIMEOUT(table(w)->index(0, 5).data().toString(), QStringLiteral("DBM"), 30000);

        activate(w, QStringLiteral("Measure1"));
        tree(w)->setCurrentIndex(node(w, QStringLiteral("Second")));
        invoke(w, "on_actionItemDelete_triggered");
        fixture.action("actionStart")->trigger();
        const int before = table(w)->rowCount();
        QTRY_VERIFY_WITH_TIMEOUT(table(w)->rowCount() > before, 30000);
        fixture.closeWindow();
    }
}

QTEST_MAIN(TestItems)
#include "tst_items.moc"
