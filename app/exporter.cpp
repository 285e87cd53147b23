#include "exporter.h"

#include "datamodel.h"
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

void mergeCells(AutomationObject *sheet, const QString &range)
{
    AutomationObject *merged = sheet->querySubObject("Range(const QString&)", range);
    merged->setProperty("HorizontalAlignment", XlCenter);
    merged->setProperty("VerticalAlignment", XlCenter);
    merged->setProperty("WrapText", true);
    merged->setProperty("MergeCells", true);
    delete merged;
}

void setCell(AutomationObject *sheet, int row, int column, const QString &text)
{
    sheet->querySubObject("Cells(int,int)", row, column)->dynamicCall("SetValue(const QString&)", text);
}

} // namespace

// A modal progress box with a busy cursor while a spreadsheet is made: the
// table cannot change and no second export can start meanwhile, while the
// meter's readings go on. It ends with the export, never by Escape.
class Exporter::Progress : public QProgressDialog
{
public:
    Progress(QWidget *window, int rows) : QProgressDialog(window)
    {
        setWindowTitle(QString());
        setLabelText(Exporter::tr("Exporting the datas..."));
        setCancelButton(nullptr);
        setAutoClose(false);
        setAutoReset(false);
        setWindowModality(Qt::ApplicationModal);
        setMinimumDuration(0);
        setRange(0, rows);
        QApplication::setOverrideCursor(Qt::BusyCursor);
        show();
    }
    ~Progress() override
    {
        QApplication::restoreOverrideCursor();
    }
    void reject() override
    {
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();
    }
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
// `x'.xls`), so a plain name typed into its name field is taken as typed.
// A path outside the folder the dialog showed is refused as a failed
// export, never written.
QString Exporter::askPath(const QString &caption, const QString &folder, const QString &filter)
{
    QFileDialog dialog(window, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QDir shown = dialog.directory();
    QString path = dialog.selectedFiles().first();
    if (const auto *typed = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
        const QString name = typed->text();
        if (name.contains(QLatin1Char('"')) && !name.contains(QLatin1Char('/')))
            path = shown.absoluteFilePath(name);
    }
    if (QFileInfo(path).absolutePath() != shown.absolutePath()) {
        inform(tr("The datas is exported failed."));
        return QString();
    }
    return path;
}

bool Exporter::exportTable(const QString &path, const AutomationOptions &options)
{
    AutomationObject excel(options);
    if (!excel.setControl(QStringLiteral("Excel.Application"))) {
        inform(tr("The datas is exported failed, your computer may not have installed excel."));
        return false;
    }
    // Rows removed or replaced while they are gathered (a recording that
    // starts anew) would leave a table that never was: the export fails.
    tableChanged = false;
    QObject watcher;
    const auto changed = [this] { tableChanged = true; };
    QObject::connect(&table, &QAbstractItemModel::modelAboutToBeReset, &watcher, changed);
    QObject::connect(&table, &QAbstractItemModel::rowsAboutToBeRemoved, &watcher, changed);

    bool saved = false;
    {
        const int total = table.rowCount();
        Progress progress(window, total);
        excel.dynamicCall("SetVisible(bool)", false);
        excel.setProperty("DisplayAlerts", false);
        AutomationObject *workbooks = excel.querySubObject("Workbooks");
        workbooks->dynamicCall("Add");
        AutomationObject *workbook = excel.querySubObject("ActiveWorkBook");
        AutomationObject *sheets = workbook->querySubObject("Sheets");
        AutomationObject *sheet = sheets->querySubObject("Item(int)", 1);
        bool complete = fillSheet(sheet, 0, qMin(total, RowsPerSheet), progress);
        for (int first = RowsPerSheet; complete && first < total; first += RowsPerSheet) {
            sheet = sheets->querySubObject("Add(QVariant,QVariant)", QVariant(), sheet->asVariant());
            complete = fillSheet(sheet, first, qMin(total - first, RowsPerSheet), progress);
        }
        if (complete) {
            progress.setRange(0, 0);
            saved = workbook->dynamicCall("SaveAs(const QString &,int,QString,QString,bool,bool)",
                                          QDir::toNativeSeparators(path), XlNormal, QString(""), QString(""), false,
                                          false)
                        .toBool();
        }
        workbook->dynamicCall("Close(Boolean)", false);
        excel.dynamicCall("Quit(void)");
    }
    if (!saved) {
        inform(tr("The datas is exported failed."));
        return false;
    }
    inform(tr("The datas is exported successfully."));
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return true;
}

// The header, formats and data of one sheet holding `count` rows from `first` on.
bool Exporter::fillSheet(AutomationObject *sheet, int first, int count, Progress &progress)
{
    writeHeader(sheet);
    const QString last(QChar(64 + titles.size()));
    AutomationObject *header = sheet->querySubObject("Range(const QString&)", QStringLiteral("A1:%1%2").arg(last).arg(2));
    header->setProperty("HorizontalAlignment", XlCenter);
    AutomationObject *border = header->querySubObject("Borders(xlEdgeBottom)");
    border->setProperty("Color", QColor(QStringLiteral("#000000")));
    sheet->querySubObject("Range(const QString&)", QStringLiteral("B3:%1%2").arg(QStringLiteral("B")).arg(count + 2))
        ->dynamicCall("SetNumberFormat(const QString&)", DataModel::DateTimeFormat);
    sheet->querySubObject("Range(const QString&)", QStringLiteral("C3:%1%2").arg(last).arg(count + 2))
        ->dynamicCall("SetNumberFormat(const QString&)", QStringLiteral("@"));
    const QVariantList rows = collectRows(first, count, progress);
    if (tableChanged)
        return false;
    sheet->querySubObject("Range(const QString&)", QStringLiteral("A3:%1%2").arg(last).arg(count + 2))
        ->setProperty("Value", rows);
    sheet->querySubObject("UsedRange")->querySubObject("Columns")->dynamicCall("AutoFit");
    return true;
}

// Two rows from the column titles: a title of two words gives its first to
// the group above and its second to the row below.
void Exporter::writeHeader(AutomationObject *sheet)
{
    mergeCells(sheet, QStringLiteral("A1:A2"));
    setCell(sheet, 1, 1, titles.value(0));
    mergeCells(sheet, QStringLiteral("B1:B2"));
    setCell(sheet, 1, 2, titles.value(1));
    struct Group
    {
        int first; // 0-based column
        int count;
        const char *range;
    };
    for (const Group &group : {Group{2, 3, "C1:E1"}, Group{5, 3, "F1:H1"}, Group{8, 2, "I1:J1"}, Group{10, 2, "K1:L1"}}) {
        mergeCells(sheet, QLatin1String(group.range));
        setCell(sheet, 1, group.first + 1, word(titles.value(group.first), 0));
        for (int i = 0; i < group.count; ++i)
            setCell(sheet, 2, group.first + i + 1, word(titles.value(group.first + i), 1));
    }
}

// The display values of the rows, in slices short enough for the window's
// event loop; stops early when the table changes.
QVariantList Exporter::collectRows(int first, int count, Progress &progress)
{
    QVariantList rows;
    rows.reserve(count);
    QElapsedTimer slice;
    slice.start();
    for (int row = first; row < first + count && !tableChanged; ++row) {
        QVariantList cells;
        cells.reserve(titles.size());
        for (int column = 0; column < titles.size(); ++column)
            cells.append(table.data(table.index(row, column)));
        rows.append(QVariant(cells));
        if (slice.elapsed() >= SliceMs) {
            progress.setValue(row + 1);
            QCoreApplication::processEvents();
            slice.restart();
        }
    }
    return rows;
}

bool Exporter::exportCsv(const QString &path, const JournalHeader &header)
{
    tableChanged = false;
    QObject watcher;
    const auto changed = [this] { tableChanged = true; };
    QObject::connect(&table, &QAbstractItemModel::modelAboutToBeReset, &watcher, changed);
    QObject::connect(&table, &QAbstractItemModel::rowsAboutToBeRemoved, &watcher, changed);

    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly) && file.write(JournalFormat::headerText(header)) > 0;
    {
        const int total = table.rowCount();
        Progress progress(window, total);
        QElapsedTimer slice;
        slice.start();
        for (int row = 0; written && row < total && !tableChanged; ++row) {
            written = file.write(JournalFormat::recordLine(row + 1, *table.record(row))) > 0;
            if (slice.elapsed() >= SliceMs) {
                progress.setValue(row + 1);
                QCoreApplication::processEvents();
                slice.restart();
            }
        }
        written = written && !tableChanged
                  && file.write(JournalFormat::closingLine(QDateTime::currentDateTime(), total)) > 0 && file.commit();
    }
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
