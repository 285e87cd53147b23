// Export of the data table (.xls through LibreOffice, .xlsx written
// directly, CSV) and of the chart as a picture: the spreadsheet calls in
// order, the files read back independently of our code (xlrd, openpyxl,
// LibreOffice), a missing, hung or refused spreadsheet application, tables
// larger than a sheet, Cancel and a full disk, the CSV's header, and an
// export while the meter is connected.
#include "apptestsupport.h"
#include "automationtrace.h"
#include "csvtablewriter.h"
#include "datamodel.h"
#include "dmmdata.h"
#include "engprefix.h"
#include "exporter.h"
#include "inprocessinstrument.h"
#include "modalanswerer.h"
#include "nokerneldevices.h"
#include "readingstore.h"
#include "simulatedmeter.h"
#include "testrecords.h"
#include "widget.h"
#include "windowtermination.h"
#include "xlstablewriter.h"
#include "xlsxtablewriter.h"

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QPushButton>
#include <QTimer>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include <atomic>
#include <csignal>
#include <climits>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int LinkTimeoutMs = 30000;

QStringList titles()
{
    QStringList list;
    for (const DataColumn &column : dataColumns())
        list << column.title;
    return list;
}

// An item's store of `rows` readings: all one reading, or readings that
// differ in time, values (numbers of several digits, an overload) and kind
// (every seventh stored in the meter, without time or frequency).
std::shared_ptr<ReadingStore> readings(int rows, bool varied = false)
{
    auto store = std::make_shared<ReadingStore>();
    std::unique_ptr<DmmData> record = baseline();
    const QDateTime start = record->time;
    const QStringList values{"12.345", "-0.0300", "1.2", "  OL ", "100"};
    for (int i = 0; i < rows; ++i) {
        if (varied) {
            record->time = start.addMSecs(qint64(i) * 1037);
            record->isStore = i % 7 == 6;
            record->channels[0]->valueTexts[0] = values[i % values.size()];
            record->channels[1]->valueTexts[1] = QString::number(i % 1000 * 0.001, 'f', 4);
            record->channels[0]->floating = i % 2;
        }
        store->append(*record);
    }
    return store;
}

// Exports the store through `writer` to `path` as the window does.
bool exportTable(TableWriter &writer, std::shared_ptr<ReadingStore> store, const QString &path)
{
    QWidget window;
    return Exporter(&window, std::move(store), JournalHeader(), titles(), nullptr, nullptr).exportTable(writer, path, true);
}

// Forwards to a real writer and holds the export at its middle reading
// until the test has pressed Cancel.
class HeldAtHalf : public TableWriter
{
public:
    HeldAtHalf(TableWriter &real, bool hold) : real(real), hold(hold) {}
    bool start(const QString &path, const QStringList &titles, qint64 rows) override
    {
        half = hold ? rows / 2 : -1;
        return real.start(path, titles, rows);
    }
    bool write(qint64 number, const DmmData &reading) override
    {
        while (number == half + 1 && !pressed)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return real.write(number, reading);
    }
    bool finish(const std::function<bool()> &cancelled) override
    {
        return real.finish(cancelled);
    }
    void cancel() override
    {
        real.cancel();
    }
    std::atomic<bool> pressed{false};

private:
    TableWriter &real;
    const bool hold;
    qint64 half = 0;
};

// Everything in the folder, hidden files included.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The files in the folder this process holds open, deleted ones too.
QStringList filesOpenIn(const QString &folder)
{
    QStringList open;
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString &descriptor : descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[PATH_MAX];
        const ssize_t size = ::readlink(QFile::encodeName(descriptors.filePath(descriptor)).constData(), target,
                                        sizeof target);
        const QString name = size > 0 ? QFile::decodeName(QByteArray(target, int(size))) : QString();
        if (name.startsWith(folder + QLatin1Char('/')))
            open << name;
    }
    return open;
}

// An executable shell script standing in for LibreOffice.
QString standIn(const QTemporaryDir &dir, const QByteArray &body)
{
    const QString path = dir.filePath(QStringLiteral("soffice"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("#!/bin/sh\n" + body + "\n");
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

// Writes a small file where LibreOffice would put the .xls, and ends.
const QByteArray Converts = "while [ $# -gt 1 ]; do [ \"$1\" = --outdir ] && out=$2; shift; done\n"
                            "echo converted > \"$out/book.xls\"";
const QByteArray Hangs = "sleep 600";

// The file as a script reads it: one object per sheet.
QJsonArray readWith(const char *script, const QString &path, const QString &option = QString())
{
    QProcess python;
    QStringList arguments{QString::fromLatin1(script), path};
    if (!option.isEmpty())
        arguments << option;
    python.start(QStringLiteral("/usr/bin/python3"), arguments);
    python.waitForFinished(600000);
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

// The file as xlrd reads it.
QJsonArray readBack(const QString &path, bool columnAOnly = false)
{
    return readWith(READXLS_SCRIPT, path, columnAOnly ? QStringLiteral("--column-a") : QString());
}

QStringList cellTexts(const QJsonArray &row)
{
    QStringList texts;
    for (const QJsonValue &cell : row)
        texts << cell.toArray().at(0).toString();
    return texts;
}

const QStringList HeaderRow1{"No.", "Date/Time", "Line1", "", "", "Line2", "", "", "CH1", "", "CH2", ""};
const QStringList HeaderRow2{"", "", "Function", "CH", "Value", "Function", "CH", "Value", "FREQ", "Float", "FREQ", "Float"};

// The two header rows and their merged ranges (rows and columns from 0, ends excluded).
void verifyHeader(const QJsonObject &sheet)
{
    const QJsonArray cells = sheet[QStringLiteral("cells")].toArray();
    QCOMPARE(cellTexts(cells.at(0).toArray()), HeaderRow1);
    QCOMPARE(cellTexts(cells.at(1).toArray()), HeaderRow2);
    QList<QVariantList> merged;
    for (const QJsonValue &range : sheet[QStringLiteral("merged")].toArray())
        merged << range.toArray().toVariantList();
    std::sort(merged.begin(), merged.end(), [](const QVariantList &a, const QVariantList &b) {
        return std::make_pair(a[2].toInt(), a[0].toInt()) < std::make_pair(b[2].toInt(), b[0].toInt());
    });
    const QList<QVariantList> expected{{0, 2, 0, 1}, {0, 2, 1, 2}, {0, 1, 2, 5}, {0, 1, 5, 8}, {0, 1, 8, 10}, {0, 1, 10, 12}};
    QCOMPARE(merged, expected);
}

// A process that still runs (not a zombie).
bool isAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

QStringList exportLeftovers()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("dmmpanel-export-*")}, QDir::AllEntries | QDir::Hidden);
}

QStringList messageList(Widget *w)
{
    const auto *list = w->findChild<QListWidget *>(QStringLiteral("listWidget"));
    QStringList lines;
    for (int row = 0; row < list->count(); ++row)
        lines << list->item(row)->text();
    return lines;
}

QAbstractItemModel *table(Widget *w)
{
    return w->findChild<QTableView *>(QStringLiteral("tv"))->model();
}

// Answers the export dialog with the kind (or cancels it when empty) and the
// file dialog with the path (or cancels it when empty).
void answerExport(ModalAnswerer &answerer, const QString &kind, const QString &path,
                  const std::function<void()> &atFileDialog = {})
{
    answerer.setDialogHandler([=](QDialog *dialog) {
        if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
            if (atFileDialog)
                atFileDialog();
            if (path.isEmpty()) {
                files->reject();
                return;
            }
            // In the file's folder, its name typed into the name field:
            // selectFile() leaves the field alone once it has the focus,
            // which depends on timing. A path into a missing folder is
            // typed whole.
            const QFileInfo file(path);
            const bool folderThere = file.dir().exists();
            if (folderThere)
                files->setDirectory(file.absolutePath());
            files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(folderThere ? file.fileName() : path);
            dialog->accept();
            return;
        }
        if (kind.isEmpty()) {
            dialog->reject();
            return;
        }
        const QString button = kind == QLatin1String("table") ? QStringLiteral("rbTable")
                                                              : QStringLiteral("rb") + kind.left(1).toUpper() + kind.mid(1);
        dialog->findChild<QRadioButton *>(button)->setChecked(true);
        dialog->accept();
    });
}

QStringList boxTexts(const ModalAnswerer &answerer)
{
    QStringList texts;
    for (const ModalAnswerer::Box &box : answerer.boxes())
        texts << box.text;
    return texts;
}

// The calls that export a table with the ranges its rows give, and save it
// at `path`.
QStringList spreadsheetCalls(const QString &dateRange, const QString &textRange, const QString &dataRange,
                             const QString &path)
{
    QStringList calls{"application setControl Excel.Application",
                      "application dynamicCall SetVisible(bool) false",
                      "application setProperty DisplayAlerts false",
                      "application querySubObject Workbooks",
                      "workbooks dynamicCall Add",
                      "application querySubObject ActiveWorkBook",
                      "workbook querySubObject Sheets",
                      "sheets querySubObject Item(int) 1"};
    const auto merge = [&](const char *range) {
        calls << QStringLiteral("sheet querySubObject Range(const QString&) ") + range
              << "range setProperty HorizontalAlignment -4108" << "range setProperty VerticalAlignment -4108"
              << "range setProperty WrapText true" << "range setProperty MergeCells true";
    };
    const auto cell = [&](int row, int column, const char *text) {
        calls << QStringLiteral("sheet querySubObject Cells(int,int) %1, %2").arg(row).arg(column)
              << QStringLiteral("range dynamicCall SetValue(const QString&) ") + text;
    };
    merge("A1:A2");
    cell(1, 1, "No.");
    merge("B1:B2");
    cell(1, 2, "Date/Time");
    merge("C1:E1");
    cell(1, 3, "Line1");
    cell(2, 3, "Function");
    cell(2, 4, "CH");
    cell(2, 5, "Value");
    merge("F1:H1");
    cell(1, 6, "Line2");
    cell(2, 6, "Function");
    cell(2, 7, "CH");
    cell(2, 8, "Value");
    merge("I1:J1");
    cell(1, 9, "CH1");
    cell(2, 9, "FREQ");
    cell(2, 10, "Float");
    merge("K1:L1");
    cell(1, 11, "CH2");
    cell(2, 11, "FREQ");
    cell(2, 12, "Float");
    calls << "sheet querySubObject Range(const QString&) A1:L2"
          << "range setProperty HorizontalAlignment -4108"
          << "range querySubObject Borders(xlEdgeBottom)"
          << "border setProperty Color #000000"
          << "sheet querySubObject Range(const QString&) " + dateRange
          << "range dynamicCall SetNumberFormat(const QString&) yyyy-MM-dd hh:mm:ss"
          << "sheet querySubObject Range(const QString&) " + textRange
          << "range dynamicCall SetNumberFormat(const QString&) @"
          << "sheet querySubObject Range(const QString&) " + dataRange
          << "range setProperty Value [row source]"
          << "sheet querySubObject UsedRange"
          << "range querySubObject Columns"
          << "columns dynamicCall AutoFit"
          << "workbook dynamicCall SaveAs(const QString &,int,QString,QString,bool,bool) " + path
                 + ", -4143, , , false, false"
          << "workbook dynamicCall Close(Boolean) false"
          << "application dynamicCall Quit(void)";
    return calls;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void callSequence_data();
    void callSequence();
    void missingObjectsFailCleanly();
    void cancelEndsTheExport_data();
    void cancelEndsTheExport();
    void applicationFailures_data();
    void applicationFailures();
    void exportDialogs_data();
    void exportDialogs();
    void recordedItemReadBack();
    void largeTableAcrossSheets();
    void xlsxReadBack();
    void xlsxAcrossSheets();
    void fullDiskLeavesNoFile_data();
    void fullDiskLeavesNoFile();
    void csvHeaderDescribesTheItem();
    void exportWhileConnected();
    void signalsEndTheExport_data();
    void signalsEndTheExport();
    void exportUntilSignalled();

public slots:
    // Stands in for the desktop's handler of local files.
    void openLocalFile(const QUrl &url);

private:
    NoKernelDevices noUsbDevices;
    QTemporaryDir tempDir; // the temporary folder of everything exported
    QList<QUrl> openedFiles;
};

void TestExport::initTestCase()
{
    QVERIFY(noUsbDevices.isValid());
    QVERIFY(tempDir.isValid());
    // The program run by signalsEndTheExport shares the temporary folder of
    // the test that runs it.
    if (qEnvironmentVariableIsEmpty("TST_EXPORT_FOLDER"))
        qputenv("TMPDIR", QFile::encodeName(tempDir.path()));
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openLocalFile");
}

void TestExport::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void TestExport::init()
{
    openedFiles.clear();
}

void TestExport::openLocalFile(const QUrl &url)
{
    openedFiles << url;
}

void TestExport::callSequence_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("dateRange");
    QTest::addColumn<QString>("textRange");
    QTest::addColumn<QString>("dataRange");
    QTest::newRow("empty table") << 0 << "B3:B2" << "C3:L2" << "A3:L2";
    QTest::newRow("10 rows") << 10 << "B3:B12" << "C3:L12" << "A3:L12";
}

void TestExport::callSequence()
{
    QFETCH(int, rows);
    QFETCH(QString, dateRange);
    QFETCH(QString, textRange);
    QFETCH(QString, dataRange);

    QTemporaryDir dir;
    ModalAnswerer answerer;
    AutomationTrace trace;
    AutomationOptions options;
    options.program = standIn(dir, Converts);
    // Blanks, quotes and a non-ASCII letter pass through unchanged.
    const QString path = dir.filePath(QStringLiteral("Tabelle \"A\" \u00fc.xls"));
    XlsTableWriter writer(options);
    QVERIFY(exportTable(writer, readings(rows), path));

    // Saved under a temporary name beside the file, renamed once complete.
    QStringList calls = trace.calls;
    calls.replaceInStrings(QRegularExpression(QStringLiteral("/\\.([^/]*)\\.[A-Za-z0-9]{6},")), QStringLiteral("/\\1,"));
    QCOMPARE(calls, spreadsheetCalls(dateRange, textRange, dataRange, path));
    QCOMPARE(boxTexts(answerer), QStringList{"The datas is exported successfully."});
    QCOMPARE(answerer.boxes().first().icon, QMessageBox::Information);
    QCOMPARE(answerer.boxes().first().title, QString());
    QCOMPARE(openedFiles, QList<QUrl>{QUrl::fromLocalFile(path)});
    // The file alone, under its name: the temporary one was renamed.
    QCOMPARE(filesIn(dir.path()), (QStringList{"soffice", QFileInfo(path).fileName()}));
    QCOMPARE(exportLeftovers(), QStringList());
}

// Each sub-object the export asks for, missing in turn (a mistyped member,
// a cell out of range): the export ends as failed, writes nothing and
// leaves nothing behind.
void TestExport::missingObjectsFailCleanly()
{
    QTemporaryDir dir;
    AutomationOptions options;
    options.program = standIn(dir, Converts);
    const std::shared_ptr<ReadingStore> store = readings(10);
    const QString path = dir.filePath(QStringLiteral("table.xls"));
    int queries = 0;
    {
        ModalAnswerer answerer;
        AutomationTrace all;
        XlsTableWriter writer(options);
        exportTable(writer, store, path);
        queries = all.queries;
        QVERIFY(QFile::remove(path));
        openedFiles.clear();
    }
    QVERIFY(queries > 20);
    for (int refused = 1; refused <= queries; ++refused) {
        ModalAnswerer answerer;
        AutomationTrace trace(refused);
        XlsTableWriter writer(options);
        exportTable(writer, store, path);
        QCOMPARE(boxTexts(answerer), QStringList{"The datas is exported failed."});
        QCOMPARE(filesIn(dir.path()), QStringList{"soffice"});
    }
    QVERIFY(openedFiles.isEmpty());
    QCOMPARE(exportLeftovers(), QStringList());
}

void TestExport::cancelEndsTheExport_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow(".xls while the converter runs") << "xls";
    QTest::newRow(".xlsx at half the rows") << "xlsx";
    QTest::newRow("CSV at half the rows") << "csv";
}

// Cancel on the progress box ends the export at once: no message, no file
// under the chosen name or a temporary one, none left open, the converter
// ended and its files removed.
void TestExport::cancelEndsTheExport()
{
    QFETCH(QString, format);
    const bool converting = format == QLatin1String("xls");
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("converter.pid"));
    AutomationOptions options;
    options.program = standIn(dir, "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 600");
    XlsTableWriter xls(options);
    XlsxTableWriter xlsx;
    CsvTableWriter csv{JournalHeader()};
    TableWriter &real = converting ? static_cast<TableWriter &>(xls) : format == QLatin1String("xlsx") ? static_cast<TableWriter &>(xlsx) : csv;
    HeldAtHalf writer(real, !converting);
    const QString path = dir.filePath(QStringLiteral("table.") + format);
    ModalAnswerer answerer;
    int valueAtCancel = -1;
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
        if (!progress || (converting ? QFileInfo(pidFile).size() == 0 : progress->value() < 500))
            return;
        valueAtCancel = progress->value();
        progress->findChild<QPushButton *>()->click();
        writer.pressed = true;
        canceller.stop();
    });
    canceller.start(10);
    QVERIFY(!exportTable(writer, readings(1000), path));

    QVERIFY(writer.pressed);
    if (!converting)
        QCOMPARE(valueAtCancel, 500); // of 1000
    QCOMPARE(boxTexts(answerer), QStringList());
    QCOMPARE(filesIn(dir.path()), (QStringList{"converter.pid", "soffice"}).mid(converting ? 0 : 1));
    QCOMPARE(filesOpenIn(dir.path()), QStringList());
    QCOMPARE(exportLeftovers(), QStringList());
    if (converting) {
        QFile pidText(pidFile);
        QVERIFY(pidText.open(QIODevice::ReadOnly));
        const qint64 converter = pidText.readAll().trimmed().toLongLong();
        QTRY_VERIFY_WITH_TIMEOUT(!isAlive(converter), 10000);
    }
}

void TestExport::applicationFailures_data()
{
    QTest::addColumn<QByteArray>("script"); // the stand-in; empty: none on PATH
    QTest::addColumn<QString>("target");    // empty: a file in a writable folder
    QTest::addColumn<QString>("message");

    QTest::newRow("no LibreOffice on PATH")
        << QByteArray() << QString() << "The datas is exported failed, your computer may not have installed excel.";
    QTest::newRow("LibreOffice hangs") << Hangs << QString() << "The datas is exported failed.";
    QTest::newRow("folder not writable") << Converts << "/proc/dmmpanel-table.xls" << "The datas is exported failed.";
}

void TestExport::applicationFailures()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, target);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QByteArray path = qgetenv("PATH");
    AutomationOptions options;
    options.timeLimitMs = 2000;
    if (script.isEmpty())
        qputenv("PATH", QFile::encodeName(dir.path())); // nothing to find there
    else
        options.program = standIn(dir, script);
    const QString file = target.isEmpty() ? dir.filePath(QStringLiteral("table.xls")) : target;

    ModalAnswerer answerer;
    QElapsedTimer clock;
    clock.start();
    XlsTableWriter writer(options);
    exportTable(writer, readings(10), file);
    qputenv("PATH", path);

    QCOMPARE(boxTexts(answerer), QStringList{message});
    QVERIFY(!QFile::exists(file));
    QVERIFY(openedFiles.isEmpty());
    // The hung program was ended at its time limit, long before it would end.
    QVERIFY(clock.elapsed() < 120000);
    QCOMPARE(exportLeftovers(), QStringList());
}

void TestExport::exportDialogs_data()
{
    QTest::addColumn<QString>("kind"); // empty: the export dialog is cancelled
    QTest::addColumn<QString>("file"); // empty: the file dialog is cancelled
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("written");

    QTest::newRow("export dialog cancelled") << QString() << QString() << QStringList() << false;
    // Written as typed, though the dialog reads the quotes as quoting.
    QTest::newRow("double quote in the typed name")
        << "chart" << "q\"x'.jpg" << QStringList{"The datas is exported successfully."} << true;
    QTest::newRow("table file dialog cancelled") << "table" << QString() << QStringList() << false;
    QTest::newRow("chart file dialog cancelled") << "chart" << QString() << QStringList() << false;
    QTest::newRow("chart as JPG") << "chart" << "chart.jpg" << QStringList{"The datas is exported successfully."}
                                  << true;
    QTest::newRow("chart as PNG") << "chart" << "chart.png" << QStringList{"The datas is exported successfully."}
                                  << true;
    QTest::newRow("chart as SVG") << "chart" << "chart.svg" << QStringList{"The datas is exported successfully."}
                                  << true;
    QTest::newRow("empty table as .xlsx") << "xlsx" << "table.xlsx" << QStringList{"The datas is exported successfully."}
                                          << true;
    QTest::newRow("empty table as CSV") << "csv" << "table.csv" << QStringList{"The datas is exported successfully."}
                                        << true;
    QTest::newRow("chart into a missing folder")
        << "chart" << "missing folder/chart.jpg" << QStringList{"The datas is exported failed."} << false;
}

void TestExport::exportDialogs()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QStringList, messages);
    QFETCH(bool, written);

    QTemporaryDir dir;
    const QString path = file.isEmpty() ? QString() : dir.filePath(file);
    ModalAnswerer answerer;
    answerExport(answerer, kind, path);
    WindowFixture fixture;
    auto *tabs = fixture.window()->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    tabs->setCurrentIndex(0);
    fixture.action("actionExport")->trigger();

    QCOMPARE(boxTexts(answerer), messages);
    QCOMPARE(answerer.dialogCount(), kind.isEmpty() ? 1 : 2);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(QFile::exists(path), written);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), written ? 1 : 0);
    QCOMPARE(QDir::current().entryList({QStringLiteral("*.xls*"), QStringLiteral("*.jpg"), QStringLiteral("*.png"),
                                        QStringLiteral("*.svg"), QStringLiteral("*.csv")},
                                       QDir::Files),
             QStringList());
    // The message list names the file written, in full.
    const QStringList listed = messageList(fixture.window());
    QCOMPARE(listed, written ? QStringList{QStringLiteral("Exported to %1.").arg(path)} : QStringList());
    const QByteArray suffix = QFileInfo(path).suffix().toLatin1();
    if (written && kind == QLatin1String("chart"))
        QCOMPARE(QImageReader::imageFormat(path), suffix == "jpg" ? QByteArray("jpeg") : suffix);
    QVERIFY(openedFiles.isEmpty());
}

// Readings of the simulated meter, recorded and exported through the window
// to a path with blanks and a non-ASCII letter, read back by xlrd.
void TestExport::recordedItemReadBack()
{
    auto meter = std::make_shared<dmmsim::SimulatedMeter>();
    visa::addInProcessInstrument(meter);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Mess wert \u00fc.xls"));
    {
        ModalAnswerer answerer;
        answerExport(answerer, QStringLiteral("table"), path);
        WindowFixture fixture;
        Widget *w = fixture.window();
        fixture.action("actionConnect")->trigger();
        fixture.action("actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(table(w)->rowCount() >= 3, LinkTimeoutMs);
        fixture.action("actionDisconnect")->trigger();
        fixture.action("actionExport")->trigger();
        QCOMPARE(boxTexts(answerer), QStringList{"The datas is exported successfully."});
        QCOMPARE(openedFiles, QList<QUrl>{QUrl::fromLocalFile(path)});

        const QJsonArray sheets = readBack(path);
        QCOMPARE(sheets.size(), 1);
        const QJsonObject sheet = sheets.at(0).toObject();
        verifyHeader(sheet);
        const QJsonArray cells = sheet[QStringLiteral("cells")].toArray();
        QCOMPARE(cells.size(), table(w)->rowCount() + 2);
        for (int row = 0; row < table(w)->rowCount(); ++row) {
            const QJsonArray read = cells.at(row + 2).toArray();
            QCOMPARE(read.size(), 12);
            for (int column = 0; column < 12; ++column) {
                const QJsonArray cell = read.at(column).toArray();
                const QString kind = cell.at(1).toString();
                QString format = cell.at(2).toString();
                QCOMPARE(cell.at(0).toString(), table(w)->index(row, column).data().toString());
                if (column == 0) {
                    QCOMPARE(kind, QStringLiteral("number"));
                } else if (column == 1) {
                    // A date and time, shown as the table shows it.
                    QCOMPARE(kind, QStringLiteral("date"));
                    QCOMPARE(format.remove(QLatin1Char('\\')), QStringLiteral("yyyy-mm-dd hh:mm:ss"));
                } else {
                    QCOMPARE(kind, QStringLiteral("text"));
                    QCOMPARE(format, QStringLiteral("@"));
                }
            }
        }
        fixture.closeWindow();
    }
    visa::removeInProcessInstrument(meter.get());
    QCOMPARE(exportLeftovers(), QStringList());
}

void TestExport::largeTableAcrossSheets()
{
    QTemporaryDir dir;
    ModalAnswerer answerer;
    const QString path = dir.filePath(QStringLiteral("large.xls"));
    XlsTableWriter writer;
    exportTable(writer, readings(70000), path);
    QCOMPARE(boxTexts(answerer), QStringList{"The datas is exported successfully."});

    const QJsonArray sheets = readBack(path, true);
    QCOMPARE(sheets.size(), 2);
    int number = 0;
    for (int i = 0; i < 2; ++i) {
        const QJsonObject sheet = sheets.at(i).toObject();
        QCOMPARE(sheet[QStringLiteral("name")].toString(), QStringLiteral("Sheet%1").arg(i + 1));
        QCOMPARE(sheet[QStringLiteral("rows")].toInt(), i == 0 ? 65536 : 70000 - 65534 + 2);
        verifyHeader(sheet);
        // Every row once, in order, with all twelve cells.
        for (const QJsonValue &a : sheet[QStringLiteral("a")].toArray())
            QCOMPARE(a.toInt(), ++number);
        QCOMPARE(sheet[QStringLiteral("filled")].toArray(), (QJsonArray{12, 12}));
    }
    QCOMPARE(number, 70000);
}

// The .xlsx of 10^4 varied readings against the table, cell for cell, as
// openpyxl reads it (numbers as numbers with the display's digits, times as
// date-times, the header rows and their merges) and as LibreOffice shows it
// converted to CSV.
void TestExport::xlsxReadBack()
{
    QTemporaryDir dir;
    const int rows = 10000;
    const std::shared_ptr<ReadingStore> store = readings(rows, true);
    const QString path = dir.filePath(QStringLiteral("Mess wert \u00fc.xlsx"));
    const mode_t umask = ::umask(022);
    {
        ModalAnswerer answerer;
        XlsxTableWriter writer;
        QVERIFY(exportTable(writer, store, path));
        QCOMPARE(boxTexts(answerer), QStringList{"The datas is exported successfully."});
    }
    ::umask(umask);
    QCOMPARE(filesIn(dir.path()), QStringList{QFileInfo(path).fileName()});
    // Others may read it, as any new file of the user's.
    QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::WriteOther), QFile::ReadOther);

    // What each cell must show, from the table's own texts: a value and its
    // unit apart, a time to the millisecond.
    QList<QStringList> expected{
        {"No.", "Date/Time", "Line1", "", "", "", "Line2", "", "", "", "CH1", "", "", "CH2", "", ""},
        {"", "", "Function", "CH", "Value", "Unit", "Function", "CH", "Value", "Unit", "FREQ", "Unit", "Float", "FREQ",
         "Unit", "Float"}};
    for (int row = 0; row < rows; ++row) {
        const std::unique_ptr<DmmData> record = store->record(row);
        QStringList cells;
        for (int column = 0; column < 12; ++column) {
            const QString text = DataModel::cellText(*record, row, column).toString();
            if (column == 1 && !text.isEmpty())
                cells << record->time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
            else if (column == 4 || column == 7 || column == 8 || column == 10)
                cells << text.section(QLatin1Char(' '), 0, -2).trimmed() << text.section(QLatin1Char(' '), -1);
            else
                cells << text;
        }
        expected << cells;
    }

    const QJsonArray sheets = readWith(READXLSX_SCRIPT, path);
    QCOMPARE(sheets.size(), 1);
    const QJsonObject sheet = sheets.at(0).toObject();
    QCOMPARE(sheet[QStringLiteral("merged")].toVariant().toStringList(),
             (QStringList{"A1:A2", "B1:B2", "C1:F1", "G1:J1", "K1:M1", "N1:P1"}));
    const QJsonArray cells = sheet[QStringLiteral("cells")].toArray();
    QCOMPARE(cells.size(), rows + 2);
    for (int row = 0; row < rows + 2; ++row) {
        const QJsonArray read = cells.at(row).toArray();
        QStringList shown;
        for (int column = 0; column < read.size(); ++column) {
            const QJsonArray cell = read.at(column).toArray();
            shown << cell.at(0).toString();
            if (row < 2 || shown.last().isEmpty())
                continue;
            const QString kind = cell.at(1).toString();
            // A number wherever the table shows one, a date-time in column B.
            const bool number = column == 0 || column == 3 || column == 7
                                || ((column == 4 || column == 8 || column == 10 || column == 13)
                                    && EngPrefix::readFixed(shown.last()).has_value());
            QCOMPARE(kind, column == 1 ? QStringLiteral("date") : number ? QStringLiteral("number") : QStringLiteral("text"));
            if (column == 1)
                QCOMPARE(cell.at(2).toString(), QStringLiteral("yyyy-mm-dd hh:mm:ss.000"));
        }
        QCOMPARE(shown, expected[row]);
    }

    // LibreOffice shows the same texts.
    QProcess office;
    office.setWorkingDirectory(dir.path());
    office.start(QStringLiteral("soffice"),
                 {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(dir.filePath(QStringLiteral("profile"))).toString(),
                  // Comma, double quote, UTF-8, first line 1, cells as shown.
                  QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                  QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true"),
                  QStringLiteral("--outdir"), dir.path(), path});
    QVERIFY(office.waitForFinished(300000));
    QFile csv(dir.filePath(QStringLiteral("Mess wert \u00fc.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), rows + 2);
    for (int row = 0; row < rows + 2; ++row)
        QCOMPARE(lines[row].trimmed(), expected[row].join(QLatin1Char(',')));
}

// 1.1 x 10^6 readings: the first sheet full, the rest on a second sheet
// that repeats the header.
void TestExport::xlsxAcrossSheets()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("a million instrumented rows take too long; the plain build runs this");
#endif
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.xlsx"));
    {
        ModalAnswerer answerer;
        XlsxTableWriter writer;
        QVERIFY(exportTable(writer, readings(1100000), path));
    }    const QJsonArray sheets = readWith(READXLSX_SCRIPT, path, QStringLiteral("--sizes"));
    QCOMPARE(sheets.size(), 2);
    QCOMPARE(sheets.at(0).toObject()[QStringLiteral("name")].toString(), QStringLiteral("Sheet1"));
    QCOMPARE(sheets.at(0).toObject()[QStringLiteral("rows")].toInt(), 1048576);
    QCOMPARE(sheets.at(1).toObject()[QStringLiteral("name")].toString(), QStringLiteral("Sheet2"));
    QCOMPARE(sheets.at(1).toObject()[QStringLiteral("rows")].toInt(), 1100000 - XlsxTableWriter::RowsPerSheet + 2);
}

void TestExport::fullDiskLeavesNoFile_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow(".xlsx") << "xlsx";
    QTest::newRow("CSV") << "csv";
}

// A folder on a small file system that fills up: the failure message, and
// neither the chosen name nor a temporary file left there, or open.
void TestExport::fullDiskLeavesNoFile()
{
    QFETCH(QString, format);
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    QTemporaryDir dir;
    if (::mount("dmmpanel-full", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=256k") != 0)
        QSKIP("no tmpfs could be mounted here");
    const QString path = dir.filePath(QStringLiteral("table.") + format);
    ModalAnswerer answerer;
    XlsxTableWriter xlsx;
    CsvTableWriter csv{JournalHeader()};
    TableWriter &writer = format == QLatin1String("xlsx") ? static_cast<TableWriter &>(xlsx) : csv;
    const bool written = exportTable(writer, readings(20000, true), path);
    const QStringList left = filesIn(dir.path());
    const QStringList open = filesOpenIn(dir.path());
    const int unmounted = ::umount(QFile::encodeName(dir.path()).constData());
    if (unmounted != 0) // a file left open: the mount goes once it is closed
        ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    QVERIFY(!written);
    QCOMPARE(boxTexts(answerer), QStringList{"The datas is exported failed."});
    QCOMPARE(left, QStringList());
    QCOMPARE(open, QStringList());
    QCOMPARE(unmounted, 0);
}

// The CSV's header describes the item, not the meter connected now: an
// opened journal's own header, and for a recorded item the recording's,
// started at its first reading.
void TestExport::csvHeaderDescribesTheItem()
{
    QTemporaryDir dir;
    JournalHeader original;
    original.program = QStringLiteral("dmmlog");
    original.version = QStringLiteral("0.9");
    original.resource = QStringLiteral("USB0::0x1234::0x5678::SN1::INSTR");
    original.itemName = QStringLiteral("Night run");
    original.started = JournalFormat::readIsoTime("2026-01-02T03:04:05.006+01:00");
    original.sampleRateMs = 250;
    original.unlimited = false;
    original.samplePoints = 500;
    const QString journal = dir.filePath(QStringLiteral("night.csv"));
    {
        QFile file(journal);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(JournalFormat::headerText(original) + JournalFormat::recordLine(1, *baseline())
                   + JournalFormat::closingLine(QDateTime::currentDateTime(), 1));
    }
    const auto headerLines = [](const QString &path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QList<QByteArray> lines;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.startsWith('#') && !line.startsWith("# Closed"))
                lines << line;
        return lines;
    };
    auto meter = std::make_shared<dmmsim::SimulatedMeter>();
    visa::addInProcessInstrument(meter);
    {
        ModalAnswerer answerer;
        WindowFixture fixture;
        Widget *w = fixture.window();
        // Opened while the simulated meter is connected.
        answerExport(answerer, QString(), journal);
        fixture.action("actionConnect")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(fixture.action("actionStart")->isEnabled(), LinkTimeoutMs);
        fixture.action("actionItemOpen")->trigger();
        QCOMPARE(table(w)->rowCount(), 1);
        const QString opened = dir.filePath(QStringLiteral("opened.csv"));
        answerExport(answerer, QStringLiteral("csv"), opened);
        fixture.action("actionExport")->trigger();
        QCOMPARE(headerLines(opened), headerLines(journal));
        fixture.closeWindow();
    }
    const QString recorded = dir.filePath(QStringLiteral("recorded.csv"));
    {
        // Recorded, then exported once the meter is gone.
        ModalAnswerer answerer;
        WindowFixture fixture;
        Widget *w = fixture.window();
        fixture.action("actionConnect")->trigger();
        fixture.action("actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(table(w)->rowCount() >= 2, LinkTimeoutMs);
        const QString firstTime = table(w)->index(0, 1).data().toString();
        fixture.action("actionDisconnect")->trigger();
        answerExport(answerer, QStringLiteral("csv"), recorded);
        fixture.action("actionExport")->trigger();
        const QList<QByteArray> header = headerLines(recorded);
        QVERIFY2(header.size() > 3 && header[1] != "# Instrument: none", header.value(1).constData());
        QVERIFY2(header[3].startsWith("# Started: " + firstTime.toLatin1().replace(' ', 'T') + '.'), header[3].constData());
        fixture.closeWindow();
    }
    visa::removeInProcessInstrument(meter.get());
}

// A large item exported while the simulated meter is connected and
// recording: the link stays up and readings keep arriving throughout.
void TestExport::exportWhileConnected()
{
    auto meter = std::make_shared<dmmsim::SimulatedMeter>();
    visa::addInProcessInstrument(meter);
    QTemporaryDir dir;
    const QString options = optionsFileWith(dir, "<Infinite>1</Infinite>");
    const QString path = dir.filePath(QStringLiteral("large.xls"));
    {
        ModalAnswerer answerer;
        WindowFixture fixture(options);
        Widget *w = fixture.window();
        int rowsAtStart = 0;
        int rowsAtEnd = 0;
        bool linkedAtEnd = false;
        answerExport(answerer, QStringLiteral("table"), path, [&] { rowsAtStart = table(w)->rowCount(); });
        answerer.setBoxHandler([&](const ModalAnswerer::Box &) {
            rowsAtEnd = table(w)->rowCount();
            linkedAtEnd = fixture.action("actionDisconnect")->isEnabled();
        });
        fixture.action("actionConnect")->trigger();
        fixture.action("actionStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(table(w)->rowCount() >= 1, LinkTimeoutMs);
        // Many rows at once, in batches that leave the link its event loop.
        for (int batch = 0; batch < 40; ++batch) {
            for (int i = 0; i < 500; ++i)
                show(w, baseline());
            QCoreApplication::processEvents();
        }
        QVERIFY2(table(w)->rowCount() > 20000, qPrintable(QString::number(table(w)->rowCount())));

        fixture.action("actionExport")->trigger();
        QCOMPARE(boxTexts(answerer), QStringList{"The datas is exported successfully."});
        QVERIFY(linkedAtEnd);
        QVERIFY2(rowsAtEnd > rowsAtStart, qPrintable(QStringLiteral("%1 rows before, %2 after").arg(rowsAtStart).arg(rowsAtEnd)));
        // And the recording goes on.
        QTRY_VERIFY_WITH_TIMEOUT(table(w)->rowCount() > rowsAtEnd, LinkTimeoutMs);
        QVERIFY(fixture.action("actionStop")->isEnabled());
        QCOMPARE(readBack(path, true).at(0).toObject()[QStringLiteral("rows")].toInt(), rowsAtStart + 2);
        fixture.closeWindow();
    }
    visa::removeInProcessInstrument(meter.get());
}

void TestExport::signalsEndTheExport_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGHUP (terminal closed)") << int(SIGHUP);
    QTest::newRow("SIGKILL") << int(SIGKILL);
}

// The program (this test run in a process of its own) connected to the
// simulated meter and exporting through a converter that hangs, then
// signalled. SIGHUP ends it as Close does; after SIGKILL the converter still
// goes with it, and the next start removes the temporary folder left behind.
void TestExport::signalsEndTheExport()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("converter.pid"));
    QVERIFY(!standIn(dir, "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 600").isEmpty());
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), dir.path() + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("DMMPANEL_SIMULATOR"), QStringLiteral("1"));
    environment.insert(QStringLiteral("DMMPANEL_SIMULATOR_FAULTS"), QString());
    environment.insert(QStringLiteral("DMMPANEL_SIMULATOR_LOG"), dir.filePath(QStringLiteral("meter.log")));
    environment.insert(QStringLiteral("TST_EXPORT_FOLDER"), dir.path());
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QCoreApplication::applicationFilePath(), {QStringLiteral("exportUntilSignalled")});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(pidFile).size() > 0, LinkTimeoutMs);
    QFile pidText(pidFile);
    QVERIFY(pidText.open(QIODevice::ReadOnly));
    const qint64 converter = pidText.readAll().trimmed().toLongLong();
    QVERIFY(isAlive(converter));
    QCOMPARE(exportLeftovers().size(), 1);

    ::kill(pid_t(program.processId()), signal);
    QVERIFY(program.waitForFinished(LinkTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(!isAlive(converter), 10000);
    if (signal == SIGHUP) {
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("options.xml"))));
        QFile log(dir.filePath(QStringLiteral("meter.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().trimmed().split('\n').last(), QByteArray("SYSTem:LOCal"));
        QCOMPARE(exportLeftovers(), QStringList());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("table.xls"))));
        return;
    }
    QCOMPARE(exportLeftovers().size(), 1);
    // A running program's folder stays at the next start; the dead one's goes.
    const QString running = QStringLiteral("dmmpanel-export-%1-abcdef").arg(QCoreApplication::applicationPid());
    QVERIFY(QDir(QDir::tempPath()).mkdir(running));
    {
        WindowFixture nextStart;
    }
    QCOMPARE(exportLeftovers(), QStringList{running});
    QVERIFY(QDir(QDir::tempPath()).rmdir(running));
}

// The program's part of signalsEndTheExport, run in a process of its own.
void TestExport::exportUntilSignalled()
{
    const QString folder = qEnvironmentVariable("TST_EXPORT_FOLDER");
    if (folder.isEmpty())
        QSKIP("run by signalsEndTheExport in a process of its own");
    dmmsim::listFromEnvironment();
    ModalAnswerer answerer;
    answerExport(answerer, QStringLiteral("table"), QDir(folder).filePath(QStringLiteral("table.xls")));
    WindowFixture fixture(QDir(folder).filePath(QStringLiteral("options.xml")));
    const WindowTermination termination(fixture.window());
    fixture.action("actionConnect")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.action("actionStart")->isEnabled(), LinkTimeoutMs);
    // Returns once a signal has ended the export.
    fixture.action("actionExport")->trigger();
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
