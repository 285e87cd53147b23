#pragma once

#include "tablewriter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QVector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// The table as an .xlsx workbook, written directly in constant memory: the
// two-row header merged as in the .xls, then one row per reading with
// numbers as numbers showing the display's digits, units in columns of their
// own and times as date-times to the millisecond. A sheet holds as many rows
// as the format allows; the next one repeats the header.
class XlsxTableWriter : public TableWriter
{
    Q_DECLARE_TR_FUNCTIONS(XlsxTableWriter)
public:
    // Data rows per sheet: the format's 1,048,576 rows less the header's two.
    static constexpr qint64 RowsPerSheet = 1048574;

    XlsxTableWriter();
    ~XlsxTableWriter() override;

    bool start(const QString &path, const QStringList &titles, qint64 rows) override;
    bool write(qint64 number, const DmmData &reading) override;
    bool finish(const std::function<bool()> &cancelled) override;
    void cancel() override;

    // The columns of a sheet: the table's, each value followed by its unit.
    static QStringList columnTitles(const QStringList &tableTitles);

private:
    bool addSheet();
    lxw_format *numberFormat(int decimals);
    // Writes the display text `text` as a number when it is one, else as text.
    void writeShown(int column, const QString &text);
    void writeText(int column, const QString &text);

    lxw_workbook *book = nullptr;
    lxw_worksheet *sheet = nullptr;
    QByteArray folder;
    QStringList titles;
    int sheetRow = 0; // next row of the current sheet
    qint64 sheetRows = 0; // data rows on the current sheet
    lxw_format *headerFormat = nullptr;
    lxw_format *timeFormat = nullptr;
    QVector<lxw_format *> numberFormats; // by decimals
    // The last text of each column as UTF-8: most rows repeat it.
    QVector<QString> lastText;
    QVector<QByteArray> lastUtf8;
};
