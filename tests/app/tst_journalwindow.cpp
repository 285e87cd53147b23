// The window's journals end to end: a recording killed with SIGKILL and
// restored at the next start, readings the item lets go of kept on disk and
// opened again, the CSV export, a journal folder that cannot be written, and
// the switch in the options dialog.
#include "apptestsupport.h"
#include "dmmchart.h"
#include "dmmdata.h"
#include "journalreader.h"
#include "modalanswerer.h"
#include "readingcache.h"
#include "recordingjournal.h"
#include "testrecords.h"
#include "tvitemmodel.h"
#include "widget.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <functional>

#include <unistd.h>

namespace {

using Rows = QList<QStringList>;

Rows tableRows(const Widget *window)
{
    const QAbstractItemModel *table = window->findChild<QTableView *>(QStringLiteral("tv"))->model();
    Rows rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells << table->index(row, column).data().toString();
        rows << cells;
    }
    return rows;
}

QString activeName(const Widget *window)
{
    const QAbstractItemModel *tree = window->findChild<QTreeView *>(QStringLiteral("tvItems"))->model();
    const QModelIndex live = tree->index(1, 0);
    for (int row = 0; row < tree->rowCount(live); ++row) {
        const QModelIndex index = tree->index(row, 0, live);
        if (index.data(TvItemModel::ActiveRole).toBool())
            return index.data().toString();
    }
    return QString();
}

QStringList journals()
{
    QStringList paths;
    for (const QFileInfo &file : QDir(RecordingJournal::folder()).entryInfoList({QStringLiteral("*.csv")}, QDir::Files, QDir::Time | QDir::Reversed))
        paths << file.filePath();
    return paths;
}

std::unique_ptr<DmmData> readingWith(const QString &line2Function, int n)
{
    std::unique_ptr<DmmData> record = baseline();
    record->time = record->time.addSecs(n);
    record->channels[1]->functions[1] = line2Function;
    record->channels[0]->valueTexts[0] = QString::number(n);
    return record;
}

void trigger(Widget *window, const char *slot)
{
    QMetaObject::invokeMethod(window, slot, Qt::DirectConnection);
}

// Whether the binary file beside the journal stands for it, so that the
// journal opens from it without being read again.
bool opensFromItsFile(const QString &journal)
{
    QFile file(journal);
    const auto lineAt = [&file](qint64 offset) -> std::unique_ptr<DmmData> {
        if ((!file.isOpen() && !file.open(QIODevice::ReadOnly)) || !file.seek(offset))
            return nullptr;
        return JournalReader::readingOf(file.readLine().chopped(1));
    };
    int skipped = 0;
    return ReadingCache::open(journal, lineAt, &skipped) != nullptr;
}

} // namespace

class TestJournalWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void crashRestore_data();
    void crashRestore();
    void foreignFiles_data();
    void foreignFiles();
    void keptOnDisk_data();
    void keptOnDisk();
    void csvExport();
    void dmmlogFile();
    void unwritableFolder_data();
    void unwritableFolder();
    void switchedOff();
};

void TestJournalWindow::initTestCase()
{
    // The journal folder the program itself uses, below each test's XDG_DATA_HOME.
    QCoreApplication::setApplicationName(QStringLiteral("dmmpanel"));
}

void TestJournalWindow::crashRestore_data()
{
    QTest::addColumn<bool>("torn");
    QTest::newRow("killed between lines") << false;
    QTest::newRow("killed inside a line") << true;
}

void TestJournalWindow::crashRestore()
{
    QFETCH(bool, torn);
    constexpr int Readings = 10000;
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(JOURNAL_CHILD), {dir.filePath(QStringLiteral("options.xml"))});
    QVERIFY(child.waitForStarted());
    QByteArray shown;
    while (shown.count('\n') < Readings && child.state() == QProcess::Running) {
        child.waitForReadyRead(1000);
        shown += child.readAllStandardOutput();
    }
    child.kill(); // SIGKILL
    QVERIFY(child.waitForFinished(30000));
    shown += child.readAllStandardOutput();
    shown.truncate(shown.lastIndexOf('\n') + 1); // a row the kill cut short was never shown whole
    Rows printed;
    for (const QByteArray &line : shown.split('\n'))
        if (!line.isEmpty())
            printed << QString::fromUtf8(line).split(QLatin1Char('\t'));
    QVERIFY(printed.size() >= Readings);

    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    const QStringList files = journals();
    QCOMPARE(files.size(), 1);
    QFile file(files.first());
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.endsWith('\n')); // one write per line: a kill never splits one
    int inFile = JournalReader::summarize(files.first()).readings;
    // The readings went to the binary file beside the journal as they came
    // (64 bytes each); it was never marked, so the restore reads the journal.
    QVERIFY(QFileInfo(files.first() + QStringLiteral(".readings")).size() >= qint64(inFile) * 64);
    if (torn) {
        // As a power cut inside the last write leaves it.
        const int lastStart = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
        QVERIFY(file.resize(lastStart + (bytes.size() - lastStart) / 2));
        --inFile;
    }
    file.close();

    Widget window(nullptr, dir.filePath(QStringLiteral("options2.xml")));
    window.show();
    ModalAnswerer answerer;
    QStringList offered;
    answerer.setDialogHandler([&](QDialog *dialog) {
        const QTreeWidgetItem *row = dialog->findChild<QTreeWidget *>(QStringLiteral("journalList"))->topLevelItem(0);
        offered = QStringList{row->text(0), row->text(1)};
        dialog->accept();
    });
    window.offerRestore();
    QCOMPARE(answerer.dialogCount(), 1);
    QCOMPARE(offered, (QStringList{QStringLiteral("Measure1"), QString::number(inFile)}));
    QCOMPARE(activeName(&window), QStringLiteral("Measure1 (restored)"));

    // Every row the table showed before the kill, as it showed it; at most
    // the rows written but not yet shown when the kill came follow.
    const Rows restored = tableRows(&window);
    QCOMPARE(restored.size(), inFile);
    QVERIFY(restored.size() >= printed.size() - (torn ? 1 : 0));
    QVERIFY(restored.size() <= printed.size() + 20);
    for (int row = 0; row < qMin(restored.size(), printed.size()); ++row)
        QCOMPARE(restored[row], printed[row]);
    for (const ChartLine *line : window.findChild<DMMChart *>(QStringLiteral("chart"))->lines())
        QCOMPARE(line->count(), qint64(restored.size()));

    // Offered once: the next start asks nothing.
    ModalAnswerer again;
    window.offerRestore();
    QCOMPARE(again.dialogCount(), 0);
    QCOMPARE(JournalReader::read(files.first()).records.size(), size_t(inFile));

    // Closed before the binary file of its readings was written: the next
    // open maps that file as it is. One torn, damaged or gone is written
    // again from the journal, and the open after that maps it.
    QFile cache(files.first() + QStringLiteral(".readings"));
    const auto opensUnwritten = [&] {
        const QDateTime marked = QDateTime::currentDateTime().addDays(-1).addMSecs(-1);
        if (!cache.open(QIODevice::ReadWrite) || !cache.setFileTime(marked, QFileDevice::FileModificationTime))
            return false;
        const qint64 size = cache.size();
        cache.close();
        window.openJournal(files.first());
        return window.findChild<QTableView *>(QStringLiteral("tv"))->model()->rowCount() == inFile
               && QFileInfo(cache.fileName()).lastModified() == marked && cache.size() == size;
    };
    QVERIFY(opensUnwritten());
    const std::function<bool()> damages[] = {
        [&] { return cache.resize(cache.size() - 64); },
        [&] { return cache.open(QIODevice::ReadWrite) && cache.write("XX", 2) == 2 && (cache.close(), true); },
        [&] { return cache.remove(); },
    };
    for (const auto &damage : damages) {
        QVERIFY(damage());
        window.openJournal(files.first());
        QCOMPARE(window.findChild<QTableView *>(QStringLiteral("tv"))->model()->rowCount(), inFile);
        QVERIFY(opensUnwritten());
    }
}

void TestJournalWindow::foreignFiles_data()
{
    QTest::addColumn<bool>("restore");
    QTest::newRow("Do not restore") << false;
    QTest::newRow("Restore") << true;
}

// CSV files of other programs in the journal folder are never offered and
// never changed; a journal whose last line a crash tore long is offered once.
void TestJournalWindow::foreignFiles()
{
    QFETCH(bool, restore);
    WindowFixture fixture;
    Widget *window = fixture.window();
    const QDir folder(RecordingJournal::folder());
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    const QMap<QString, QByteArray> foreign{{QStringLiteral("table.csv"), "a,b\n1,2\n"},
                                           {QStringLiteral("binary.csv"), QByteArray(10240, '\x9c')}};
    for (auto file = foreign.begin(); file != foreign.end(); ++file) {
        QFile out(folder.filePath(file.key()));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file.value()) == file.value().size());
    }
    JournalHeader header;
    header.program = QStringLiteral("dmmpanel");
    header.itemName = QStringLiteral("Measure1");
    header.started = baseline()->time;
    QByteArray crashed = JournalFormat::headerText(header);
    for (int n = 1; n <= 3; ++n)
        crashed += JournalFormat::recordLine(n, *readingWith(QStringLiteral("VOLT"), n));
    crashed += QByteArray(6000, '7'); // a last line torn long, as a power cut may leave it
    const QString journal = folder.filePath(QStringLiteral("Measure1_20261207-093005.csv"));
    QFile out(journal);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(crashed) == crashed.size());
    out.close();

    QList<QStringList> offered;
    ModalAnswerer answerer;
    answerer.setDialogHandler([&](QDialog *dialog) {
        const QTreeWidget *list = dialog->findChild<QTreeWidget *>(QStringLiteral("journalList"));
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            offered << QStringList{list->topLevelItem(row)->text(0), list->topLevelItem(row)->text(1)};
        restore ? dialog->accept() : dialog->reject();
    });
    window->offerRestore();
    QCOMPARE(offered, (QList<QStringList>{{QStringLiteral("Measure1"), QStringLiteral("3")}}));
    QCOMPARE(activeName(window), restore ? QStringLiteral("Measure1 (restored)") : QStringLiteral("Measure1"));
    for (auto file = foreign.begin(); file != foreign.end(); ++file) {
        QFile in(folder.filePath(file.key()));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QCOMPARE(in.readAll(), file.value());
    }
    const JournalContents closed = JournalReader::read(journal);
    QVERIFY(closed.closed);
    QCOMPARE(closed.skippedLines, 0);
    QCOMPARE(int(closed.records.size()), 3);

    ModalAnswerer again;
    window->offerRestore();
    QCOMPARE(again.dialogCount(), 0);
}

void TestJournalWindow::keptOnDisk_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("function change") << QStringLiteral("function change");
    QTest::newRow("item deleted") << QStringLiteral("delete");
    QTest::newRow("stopped") << QStringLiteral("stop");
}

// The recording's readings stay on disk however it ends, and its journal
// opens again from the binary file beside it, sealed once the journal ended.
void TestJournalWindow::keptOnDisk()
{
    QFETCH(QString, end);
    const bool deleteItem = end == QStringLiteral("delete");
    WindowFixture fixture;
    Widget *window = fixture.window();
    trigger(window, "on_actionStart_triggered");
    for (int n = 0; n < 3; ++n)
        show(window, readingWith(QStringLiteral("VOLT"), n));
    // Texts in no plain digit form are named by their lines too.
    std::unique_ptr<DmmData> unusual = readingWith(QStringLiteral("VOLT"), 3);
    unusual->channels[0]->valueTexts[0] = QStringLiteral("0012.5");
    show(window, std::move(unusual));
    const Rows before = tableRows(window);
    QCOMPARE(before.size(), 4);
    if (end == QStringLiteral("stop")) {
        trigger(window, "on_actionStop_triggered");
    } else if (deleteItem) {
        ModalAnswerer answerer;
        answerer.setBoxAnswer(QMessageBox::Yes);
        trigger(window, "on_actionItemDelete_triggered");
        QCOMPARE(activeName(window), QString());
    } else {
        show(window, readingWith(QStringLiteral("DBM"), 3));
        QCOMPARE(tableRows(window).size(), 1); // the item started anew
    }

    const QStringList files = journals();
    QCOMPARE(files.size(), end == QStringLiteral("function change") ? 2 : 1);
    const JournalContents first = JournalReader::read(files.first());
    QVERIFY(first.closed);
    QTRY_VERIFY(opensFromItsFile(files.first()));
    if (files.size() == 2) // still being recorded
        QVERIFY(!opensFromItsFile(files.last()));
    window->openJournal(files.first());
    QCOMPARE(activeName(window), QFileInfo(files.first()).completeBaseName());
    QCOMPARE(tableRows(window), before);
}

void TestJournalWindow::csvExport()
{
    WindowFixture fixture;
    Widget *window = fixture.window();
    trigger(window, "on_actionStart_triggered");
    for (int n = 0; n < 4; ++n) {
        std::unique_ptr<DmmData> record = readingWith(QStringLiteral("VOLT"), n);
        record->channels[0]->valueModes[0] = n == 2 ? DmmData::ValueOverload : DmmData::ValueNormal;
        show(window, std::move(record));
    }
    const Rows shown = tableRows(window);
    const QString path = QDir(fixture.dataFolder()).filePath(QStringLiteral("export.csv"));
    ModalAnswerer answerer;
    answerer.setDialogHandler([&](QDialog *dialog) {
        if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
            files->setDirectory(QFileInfo(path).absolutePath());
            files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(path).fileName());
        }
        else
            dialog->findChild<QRadioButton *>(QStringLiteral("rbCsv"))->setChecked(true);
        dialog->accept();
    });
    trigger(window, "on_actionExport_triggered");
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().text, QStringLiteral("The datas is exported successfully."));
    const JournalContents contents = JournalReader::read(path);
    QVERIFY(contents.closed);
    QCOMPARE(contents.header.itemName, QStringLiteral("Measure1"));
    window->openJournal(path);
    QCOMPARE(activeName(window), QStringLiteral("export"));
    QCOMPARE(tableRows(window), shown);
}

// What the command-line logger writes is a journal: the window opens it as an item.
void TestJournalWindow::dmmlogFile()
{
    WindowFixture fixture;
    Widget *window = fixture.window();
    QVERIFY(QDir().mkpath(fixture.dataFolder()));
    const QString path = QDir(fixture.dataFolder()).filePath(QStringLiteral("bench.csv"));
    QProcess logger;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DMMPANEL_SIMULATOR"), QStringLiteral("1"));
    logger.setProcessEnvironment(environment);
    logger.start(QStringLiteral(DMMLOG), {"--samples", "5", "-o", path});
    QVERIFY(logger.waitForFinished(60000));
    QVERIFY2(logger.exitCode() == 0, logger.readAllStandardError().constData());
    window->openJournal(path);
    QCOMPARE(activeName(window), QStringLiteral("bench"));
    const Rows rows = tableRows(window);
    QCOMPARE(rows.size(), 5);
    // The last reading's LINE1 text and unit, as the file has them, are in the table's last row.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray last; // the last reading's line, before the closing comments
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            last = line;
    }
    const QList<QByteArray> fields = last.split(',');
    const QString shown = QString::fromUtf8(fields.value(6) + ' ' + fields.value(7));
    QVERIFY2(rows.last().contains(shown), qPrintable(rows.last().join('|') + " / " + shown));
}

void TestJournalWindow::unwritableFolder_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::newRow("no folder can be made") << false;
    QTest::newRow("full disk") << true;
}

void TestJournalWindow::unwritableFolder()
{
    QFETCH(bool, fullDisk);
    if (fullDisk && ::geteuid() != 0)
        QSKIP("a full disk needs a small tmpfs, and mounting one needs root (CI runs as root)");
    WindowFixture fixture;
    Widget *window = fixture.window();
    const QString folder = RecordingJournal::folder();
    bool mounted = false;
    auto unmount = qScopeGuard([&] {
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), folder});
    });
    if (fullDisk) {
        QVERIFY(QDir().mkpath(folder));
        mounted = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                              QStringLiteral("-o"), QStringLiteral("size=64k"),
                                                              QStringLiteral("tmpfs"), folder})
                  == 0;
        if (!mounted)
            QSKIP("mounting a tmpfs was refused here");
        QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    } else {
        // Something else stands where the journal folder belongs.
        QVERIFY(QDir().mkpath(QFileInfo(folder).path()));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    trigger(window, "on_actionStart_triggered");
    for (int n = 0; n < 30; ++n) {
        show(window, readingWith(QStringLiteral("VOLT"), n));
        QTest::qWait(50); // past the writer's once-a-second retry
    }
    QCOMPARE(tableRows(window).size(), 30);
    const QListWidget *messages = window->findChild<QListWidget *>(QStringLiteral("listWidget"));
    QCOMPARE(messages->count(), 1);
    QVERIFY2(messages->item(0)->text().contains(folder), qPrintable(messages->item(0)->text()));
}

void TestJournalWindow::switchedOff()
{
    WindowFixture fixture;
    Widget *window = fixture.window();
    {
        ModalAnswerer answerer;
        answerer.setDialogHandler([](QDialog *dialog) {
            dialog->findChild<QCheckBox *>(QStringLiteral("chkJournal"))->setChecked(false);
            dialog->accept();
        });
        fixture.action("actionOption")->trigger();
        QCOMPARE(answerer.dialogCount(), 1);
    }
    trigger(window, "on_actionStart_triggered");
    show(window, readingWith(QStringLiteral("VOLT"), 0));
    QCOMPARE(tableRows(window).size(), 1);
    QCOMPARE(journals(), QStringList());
    fixture.closeWindow();

    QFile options(fixture.optionsPath());
    QVERIFY(options.open(QIODevice::ReadOnly));
    const QByteArray xml = options.readAll();
    QVERIFY(xml.contains("<SkipRepeat>0</SkipRepeat>\n    <Journal>0</Journal>\n"));
    WindowFixture reopened(fixture.optionsPath());
    bool checked = true;
    ModalAnswerer answerer;
    answerer.setDialogHandler([&](QDialog *dialog) {
        checked = dialog->findChild<QCheckBox *>(QStringLiteral("chkJournal"))->isChecked();
        dialog->reject();
    });
    reopened.action("actionOption")->trigger();
    QVERIFY(!checked);
}

QTEST_MAIN(TestJournalWindow)
#include "tst_journalwindow.moc"
