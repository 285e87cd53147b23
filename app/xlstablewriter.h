#pragma once

#include "automationobject.h"
#include "tablewriter.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QTemporaryFile>

#include <memory>

// The table as an .xls workbook, built through the spreadsheet application's
// automation calls and saved by it. The rows are kept in a temporary file
// while they come, and the sheets read them from there while the workbook is
// saved. A table larger than a sheet goes on as many sheets as it needs.
class XlsTableWriter : public TableWriter
{
    Q_DECLARE_TR_FUNCTIONS(XlsTableWriter)
public:
    // An .xls sheet holds 65,536 rows: two header rows and this many data rows.
    static constexpr int RowsPerSheet = Sheet::MaxRows - 2;

    explicit XlsTableWriter(AutomationOptions options = AutomationOptions());
    ~XlsTableWriter() override;

    bool start(const QString &path, const QStringList &titles, qint64 rows) override;
    bool write(qint64 number, const DmmData &reading) override;
    bool finish(const std::function<bool()> &cancelled) override;
    void cancel() override;

    // When start() found no spreadsheet application.
    QString startFailure() const override;

private:
    class SpooledRows;

    bool saveWorkbook();
    bool fillSheet(AutomationObject *sheet, int count, SpooledRows *rows);
    bool writeHeader(AutomationObject *sheet);

    AutomationOptions options;
    std::function<bool()> cancelledNow;
    std::unique_ptr<AutomationObject> excel;
    bool missing = false;
    QString path;
    QStringList titles;
    qint64 rows = 0;
    QTemporaryFile spool;
    QDataStream spooled;
};
