#include "exporter.h"

#include "datamodel.h"
#include "datetimeformat.h"
#include "dlgexport.h"
#include "dmmchart.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSaveFile>
#include <QTabWidget>
#include <QUrl>

#include <memory>
#include <vector>

namespace {

// The longest the window goes without its event loop while rows are
// gathered: the meter's link needs the loop.
constexpr int SliceMs = 30;
// How long each tab is shown before the chart is saved.
constexpr int TabShowMs = 10;

void processEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
}

QString word(const QString &title, int index)
{
    return title.split(QLatin1Char(' ')).value(index);
}

bool mergeCells(AutomationObject *sheet, const QString &range)
{
    AutomationObject *merged = sheet->querySubObject("Range(const QString&)", range);
    if (!merged)
        return false;
    merged->setProperty("HorizontalAlignment", XlCenter);
    merged->setProperty("VerticalAlignment", XlCenter);
    merged->setProperty("WrapText", true);
    merged->setProperty("MergeCells", true);
    delete merged;
    return true;
}

bool setCell(AutomationObject *sheet, int row, int column, const QString &text)
{
    AutomationObject *cell = sheet->querySubObject("Cells(int,int)", row, column);
    if (!cell)
        return false;
    cell->dynamicCall("SetValue(const QString&)", text);
    return true;
}

bool setNumberFormat(AutomationObject *sheet, const QString &range, const QString &code)
{
    AutomationObject *cells = sheet->querySubObject("Range(const QString&)", range);
    if (!cells)
        return false;
    cells->dynamicCall("SetNumberFormat(const QString&)", code);
    return true;
}

} // namespace

// A modal progress box with a busy cursor while a table is exported: the
// table cannot change and no second export can start meanwhile, while the
// meter's readings go on. Escape does nothing; Cancel stops the export.
class Exporter::Progress : public QProgressDialog
{
public:
    Progress(QWidget *window, int rows) : QProgressDialog(window)
    {
        setWindowTitle(QString());
        setLabelText(Exporter::tr("Exporting the datas..."));
        setCancelButtonText(Exporter::tr("Cancel"));
        setAutoClose(false);
        setAutoReset(false);
        setWindowModality(Qt::ApplicationModal);
        setMinimumDuration(0);
        setRange(0, rows);
        QApplication::setOverrideCursor(Qt::BusyCursor);
        show();
        slice.start();
    }
    ~Progress() override
    {
        QApplication::restoreOverrideCursor();
    }
    void reject() override
    {
    }
    // `done` rows are through; lets the event loop run once a slice is up.
    // After the last row the box shows that the work goes on.
    void advance(int done)
    {
        if (done >= maximum() && maximum() > 0)
            setRange(0, 0);
        if (slice.elapsed() < SliceMs)
            return;
        if (maximum() > 0)
            setValue(done);
        QCoreApplication::processEvents();
        slice.restart();
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();
    }

private:
    QElapsedTimer slice;
};

// The rows of one sheet, read from the table while the file is written, so
// that they are never all held as cells; stops when the table changes or
// the user cancels.
class Exporter::SheetRows : public RowSource
{
public:
    SheetRows(Exporter &exporter, Progress &progress, int first) : exporter(exporter), progress(progress), first(first)
    {
    }
    bool row(int index, QVariantList *cells) override
    {
        if (exporter.tableChanged || progress.wasCanceled())
            return false;
        const int row = first + index;
        const DataModel &table = exporter.table;
        cells->reserve(exporter.titles.size());
        for (int column = 0; column < exporter.titles.size(); ++column)
            cells->append(table.data(table.index(row, column)));
        progress.advance(row + 1);
        return !exporter.tableChanged && !progress.wasCanceled();
    }

private:
    Exporter &exporter;
    Progress &progress;
    const int first;
};

Exporter::Exporter(QWidget *window, const DataModel &table, QTabWidget *tabs, DMMChart *chart)
    : window(window), table(table), tabs(tabs), chart(chart)
{
    for (int column = 0; column < table.columnCount(); ++column)
        titles << table.headerData(column, Qt::Horizontal).toString();
}

QString Exporter::run(const JournalHeader &csvHeader)
{
    dlgExport dialog;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    QString path;
    bool written = false;
    if (dialog.kind() == dlgExport::Table) {
        path = askPath(tr("Export the datas to a excel file."), QString(), tr("Excel File(*.xls)"));
        written = !path.isEmpty() && exportTable(path);
    } else if (dialog.kind() == dlgExport::Csv) {
        path = askPath(tr("Export the datas to a CSV file."), QString(), tr("CSV File(*.csv)"));
        written = !path.isEmpty() && exportCsv(path, csvHeader);
    } else {
        path = askPath(tr("Export the chart to a picture."), QStringLiteral("."), tr("JPG File(*.jpg)"));
        written = !path.isEmpty() && exportChart(path);
    }
    return written ? path : QString();
}

// The file chosen, empty when the dialog was cancelled. The dialog reads
// double quotes in a typed name as quoting (`q"x'.xls` came back as
// `x'.xls`), so a name typed into its name field is taken as typed, against
// the folder shown. A returned path in another folder than the one shown or
// typed is refused as a failed export, never written.
QString Exporter::askPath(const QString &caption, const QString &folder, const QString &filter)
{
    QFileDialog dialog(window, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    QString path = dialog.selectedFiles().first();
    QString expectedFolder = dialog.directory().absolutePath();
    if (const auto *typed = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
        const QFileInfo name(dialog.directory(), typed->text());
        expectedFolder = name.absolutePath();
        if (typed->text().contains(QLatin1Char('"')))
            path = name.absoluteFilePath();
    }
    if (QFileInfo(path).absolutePath() != expectedFolder) {
        inform(tr("The datas is exported failed."));
        return QString();
    }
    return path;
}

bool Exporter::exportTable(const QString &path, const AutomationOptions &options)
{
    // Cancel ends the conversion too, once the progress box is up.
    Progress *shown = nullptr;
    AutomationOptions used = options;
    used.cancelled = [&shown] { return shown && shown->wasCanceled(); };
    AutomationObject excel(used);
    if (!excel.setControl(QStringLiteral("Excel.Application"))) {
        inform(tr("The datas is exported failed, your computer may not have installed excel."));
        return false;
    }
    QObject watcher;
    watchTable(&watcher);
    bool saved = false;
    bool cancelled = false;
    {
        Progress progress(window, table.rowCount());
        shown = &progress;
        saved = saveWorkbook(excel, path, progress);
        cancelled = progress.wasCanceled();
        shown = nullptr;
    }
    if (cancelled)
        return false; // the user knows; nothing was written
    if (!saved) {
        inform(tr("The datas is exported failed."));
        return false;
    }
    inform(tr("The datas is exported successfully."));
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return true;
}

// Rows removed or replaced while they are read (a recording that starts
// anew) would leave a table that never was: the export fails.
void Exporter::watchTable(QObject *watcher)
{
    tableChanged = false;
    const auto changed = [this] { tableChanged = true; };
    QObject::connect(&table, &QAbstractItemModel::modelAboutToBeReset, watcher, changed);
    QObject::connect(&table, &QAbstractItemModel::rowsAboutToBeRemoved, watcher, changed);
}

bool Exporter::saveWorkbook(AutomationObject &excel, const QString &path, Progress &progress)
{
    excel.dynamicCall("SetVisible(bool)", false);
    excel.setProperty("DisplayAlerts", false);
    AutomationObject *workbooks = excel.querySubObject("Workbooks");
    if (!workbooks)
        return false;
    workbooks->dynamicCall("Add");
    AutomationObject *workbook = excel.querySubObject("ActiveWorkBook");
    const bool saved = workbook && fillWorkbook(workbook, path, progress);
    if (workbook)
        workbook->dynamicCall("Close(Boolean)", false);
    excel.dynamicCall("Quit(void)");
    return saved;
}

// Every sheet, then SaveAs, which reads the rows as it writes the file.
bool Exporter::fillWorkbook(AutomationObject *workbook, const QString &path, Progress &progress)
{
    const int total = table.rowCount();
    AutomationObject *sheets = workbook->querySubObject("Sheets");
    AutomationObject *sheet = sheets ? sheets->querySubObject("Item(int)", 1) : nullptr;
    std::vector<std::unique_ptr<SheetRows>> rows;
    for (int first = 0;; first += RowsPerSheet) {
        rows.push_back(std::make_unique<SheetRows>(*this, progress, first));
        if (!sheet || !fillSheet(sheet, qMin(total - first, RowsPerSheet), rows.back().get()))
            return false;
        if (first + RowsPerSheet >= total)
            break;
        sheet = sheets->querySubObject("Add(QVariant,QVariant)", QVariant(), sheet->asVariant());
    }
    return workbook
        ->dynamicCall("SaveAs(const QString &,int,QString,QString,bool,bool)", QDir::toNativeSeparators(path),
                      XlNormal, QString(""), QString(""), false, false)
        .toBool();
}

// The header, formats and data of one sheet holding `count` rows.
bool Exporter::fillSheet(AutomationObject *sheet, int count, SheetRows *rows)
{
    if (!writeHeader(sheet))
        return false;
    const QString last(QChar(64 + titles.size()));
    AutomationObject *header = sheet->querySubObject("Range(const QString&)", QStringLiteral("A1:%1%2").arg(last).arg(2));
    if (!header)
        return false;
    header->setProperty("HorizontalAlignment", XlCenter);
    AutomationObject *border = header->querySubObject("Borders(xlEdgeBottom)");
    if (!border)
        return false;
    border->setProperty("Color", QColor(QStringLiteral("#000000")));
    if (!setNumberFormat(sheet, QStringLiteral("B3:%1%2").arg(QStringLiteral("B")).arg(count + 2),
                         DateTimeFormat)
        || !setNumberFormat(sheet, QStringLiteral("C3:%1%2").arg(last).arg(count + 2), QStringLiteral("@")))
        return false;
    AutomationObject *data = sheet->querySubObject("Range(const QString&)", QStringLiteral("A3:%1%2").arg(last).arg(count + 2));
    if (!data)
        return false;
    data->setProperty("Value", QVariant::fromValue<RowSource *>(rows));
    AutomationObject *used = sheet->querySubObject("UsedRange");
    AutomationObject *columns = used ? used->querySubObject("Columns") : nullptr;
    if (!columns)
        return false;
    columns->dynamicCall("AutoFit");
    return true;
}

// Two rows from the column titles: a title of two words gives its first to
// the group above and its second to the row below.
bool Exporter::writeHeader(AutomationObject *sheet)
{
    if (!mergeCells(sheet, QStringLiteral("A1:A2")) || !setCell(sheet, 1, 1, titles.value(0))
        || !mergeCells(sheet, QStringLiteral("B1:B2")) || !setCell(sheet, 1, 2, titles.value(1)))
        return false;
    struct Group
    {
        int first; // 0-based column
        int count;
        const char *range;
    };
    for (const Group &group : {Group{2, 3, "C1:E1"}, Group{5, 3, "F1:H1"}, Group{8, 2, "I1:J1"}, Group{10, 2, "K1:L1"}}) {
        if (!mergeCells(sheet, QLatin1String(group.range))
            || !setCell(sheet, 1, group.first + 1, word(titles.value(group.first), 0)))
            return false;
        for (int i = 0; i < group.count; ++i)
            if (!setCell(sheet, 2, group.first + i + 1, word(titles.value(group.first + i), 1)))
                return false;
    }
    return true;
}

bool Exporter::exportCsv(const QString &path, const JournalHeader &header)
{
    QObject watcher;
    watchTable(&watcher);
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly) && file.write(JournalFormat::headerText(header)) > 0;
    bool cancelled = false;
    {
        const int total = table.rowCount();
        Progress progress(window, total);
        for (int row = 0; written && row < total && !tableChanged && !progress.wasCanceled(); ++row) {
            written = file.write(JournalFormat::recordLine(row + 1, *table.record(row))) > 0;
            progress.advance(row + 1);
        }
        cancelled = progress.wasCanceled();
        written = written && !tableChanged && !cancelled
                  && file.write(JournalFormat::closingLine(QDateTime::currentDateTime(), total)) > 0 && file.commit();
    }
    if (cancelled)
        return false; // the side file goes, nothing was written
    inform(written ? tr("The datas is exported successfully.") : tr("The datas is exported failed."));
    return written;
}

bool Exporter::exportChart(const QString &path)
{
    const int current = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        processEventsFor(TabShowMs);
    }
    tabs->setCurrentIndex(current);
    // A picture that could not be written is reported as such.
    const bool saved = chart->savePicture(path);
    inform(saved ? tr("The datas is exported successfully.") : tr("The datas is exported failed."));
    return saved;
}

void Exporter::inform(const QString &text)
{
    QMessageBox::information(window, QString(), text);
}
