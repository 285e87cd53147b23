#pragma once

#include "automationobject.h"
#include "journalformat.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class DataModel;
class DMMChart;
class QTabWidget;
class QWidget;

// The Export action: the active item's table as an .xls spreadsheet or a CSV
// table, or the trend chart as a picture.
class Exporter
{
    Q_DECLARE_TR_FUNCTIONS(Exporter)
public:
    // An .xls sheet holds 65,536 rows: two header rows and this many data
    // rows. A larger table goes on as many further sheets as it needs.
    static constexpr int RowsPerSheet = Sheet::MaxRows - 2;

    Exporter(QWidget *window, const DataModel &table, QTabWidget *tabs, DMMChart *chart);

    // Asks what to export and where to, then writes it; a CSV table starts
    // with `csvHeader`. Returns the path written, empty when nothing was.
    QString run(const JournalHeader &csvHeader);
    // Writes the table to `path` through the spreadsheet application and
    // tells the user how it went; the saved file is then opened.
    bool exportTable(const QString &path, const AutomationOptions &options = AutomationOptions());
    // Writes the table's readings to `path` in the journal's format (to a
    // side file renamed into place) and tells the user how it went.
    bool exportCsv(const QString &path, const JournalHeader &header);
    // Shows every tab once, so that the chart is laid out, then saves it.
    bool exportChart(const QString &path);

private:
    class Progress;
    class SheetRows;

    // Each returns false when a sub-object it needs is not there.
    bool saveWorkbook(AutomationObject &excel, const QString &path, Progress &progress);
    bool fillWorkbook(AutomationObject *workbook, const QString &path, Progress &progress);
    bool fillSheet(AutomationObject *sheet, int count, SheetRows *rows);
    bool writeHeader(AutomationObject *sheet);
    void watchTable(QObject *watcher);
    void inform(const QString &text);
    QString askPath(const QString &caption, const QString &folder, const QString &filter);

    QWidget *window;
    const DataModel &table;
    QTabWidget *tabs;
    DMMChart *chart;
    QStringList titles;
    bool tableChanged = false;
};
