#include "exporter.h"

#include "csvtablewriter.h"
#include "dlgexport.h"
#include "dmmchart.h"
#include "dmmdata.h"
#include "exportjob.h"
#include "readingstore.h"
#include "xlstablewriter.h"
#include "xlsxtablewriter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressDialog>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QUrl>

namespace {

// How long each tab is shown before the chart is saved.
constexpr int TabShowMs = 10;

void processEventsFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
}

// A modal progress box with a busy cursor while a table is exported: no
// second export can start meanwhile, while the meter's readings go on.
// Escape and the close button do nothing; Cancel asks the export to stop.
class Progress : public QProgressDialog
{
public:
    Progress(QWidget *window, qint64 rows) : QProgressDialog(window), rows(rows)
    {
        setWindowTitle(QString());
        setLabelText(Exporter::tr("Exporting the datas..."));
        setCancelButtonText(Exporter::tr("Cancel"));
        setAutoClose(false);
        setAutoReset(false);
        setWindowModality(Qt::ApplicationModal);
        setMinimumDuration(0);
        setRange(0, Steps);
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
    // After the last row the box shows that the work goes on (a workbook
    // being saved).
    void advance(qint64 done)
    {
        if (done >= rows)
            setRange(0, 0);
        else
            setValue(int(done * Steps / rows));
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();
    }

private:
    static constexpr int Steps = 1000;
    const qint64 rows;
};

} // namespace

Exporter::Exporter(QWidget *window, std::shared_ptr<const ReadingStore> store, JournalHeader header,
                   QStringList titles, QTabWidget *tabs, DMMChart *chart)
    : window(window), store(std::move(store)), header(std::move(header)), titles(std::move(titles)), tabs(tabs),
      chart(chart)
{
}

JournalHeader Exporter::csvHeader(const QString &itemName, const std::optional<JournalHeader> &origin,
                                  const ReadingStore &store)
{
    if (origin)
        return *origin;
    JournalHeader header;
    header.program = QStringLiteral("dmmpanel");
    header.itemName = itemName;
    if (store.count() > 0)
        header.started = store.record(0)->time;
    return header;
}

QString Exporter::run()
{
    dlgExport dialog;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    QString path;
    bool written = false;
    switch (dialog.kind()) {
    case dlgExport::Table: {
        path = askPath(tr("Export the datas to a excel file."), QString(), {tr("Excel File(*.xls)")});
        XlsTableWriter writer;
        written = !path.isEmpty() && exportTable(writer, path, true);
        break;
    }
    case dlgExport::Xlsx: {
        path = askPath(tr("Export the datas to a excel file."), QString(), {tr("Excel Workbook(*.xlsx)")});
        XlsxTableWriter writer;
        written = !path.isEmpty() && exportTable(writer, path);
        break;
    }
    case dlgExport::Csv: {
        path = askPath(tr("Export the datas to a CSV file."), QString(), {tr("CSV File(*.csv)")});
        CsvTableWriter writer(header);
        written = !path.isEmpty() && exportTable(writer, path);
        break;
    }
    case dlgExport::Chart:
        path = askPath(tr("Export the chart to a picture."), QStringLiteral("."),
                       {tr("JPG File(*.jpg)"), tr("PNG File(*.png)"), tr("SVG File(*.svg)")});
        written = !path.isEmpty() && exportChart(path);
        break;
    }
    return written ? path : QString();
}

// The file chosen, empty when the dialog was cancelled. The dialog reads
// double quotes in a typed name as quoting (`q"x'.xls` came back as
// `x'.xls`), so a name typed into its name field is taken as typed, against
// the folder shown. A returned path in another folder than the one shown or
// typed is refused as a failed export, never written. A name typed without
// a suffix gets the chosen filter's.
QString Exporter::askPath(const QString &caption, const QString &folder, const QStringList &filters)
{
    QFileDialog dialog(window, caption, folder, filters.join(QStringLiteral(";;")));
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
    if (QFileInfo(path).suffix().isEmpty()) {
        const QString filter = dialog.selectedNameFilter();
        const int star = filter.indexOf(QLatin1String("(*"));
        path += filter.mid(star + 2, filter.size() - star - 3);
    }
    return path;
}

bool Exporter::exportTable(TableWriter &writer, const QString &path, bool openWhenWritten)
{
    ExportJob job(store, writer, path, titles);
    ExportJob::Result result = ExportJob::Failed;
    {
        Progress progress(window, job.rows());
        QEventLoop loop;
        QObject::connect(&job, &ExportJob::progressed, &progress, &Progress::advance);
        QObject::connect(&job, &ExportJob::finished, &loop, [&](ExportJob::Result done) {
            result = done;
            loop.quit();
        });
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&] { job.cancel(); });
        job.start();
        loop.exec();
    }
    if (result == ExportJob::Cancelled)
        return false; // the user knows; nothing was written
    if (result == ExportJob::Failed) {
        const QString reason = writer.startFailure();
        inform(reason.isEmpty() ? tr("The datas is exported failed.") : reason);
        return false;
    }
    inform(tr("The datas is exported successfully."));
    if (openWhenWritten)
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return true;
}

bool Exporter::exportChart(const QString &path)
{
    const int current = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        processEventsFor(TabShowMs);
    }
    tabs->setCurrentIndex(current);
    bool saved = false;
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(chart->size());
        svg.setViewBox(chart->rect());
        QPainter painter;
        saved = painter.begin(&svg) && chart->drawPicture(painter) && painter.end();
    } else {
        saved = chart->savePicture(path);
    }
    // A picture that could not be written is reported as such.
    inform(saved ? tr("The datas is exported successfully.") : tr("The datas is exported failed."));
    return saved;
}

void Exporter::inform(const QString &text)
{
    QMessageBox::information(window, QString(), text);
}
