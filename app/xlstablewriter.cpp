#include "xlstablewriter.h"

#include "datamodel.h"
#include "datetimeformat.h"
#include "dmmdata.h"

#include <QColor>
#include <QDir>

#include <vector>

namespace {

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

// The rows of one sheet, read back from the spool as the workbook is saved.
class XlsTableWriter::SpooledRows : public RowSource
{
public:
    explicit SpooledRows(QDataStream &in) : in(in) {}
    bool row(int, QVariantList *cells) override
    {
        in >> *cells;
        return in.status() == QDataStream::Ok;
    }

private:
    QDataStream &in;
};

XlsTableWriter::XlsTableWriter(AutomationOptions options) : options(std::move(options))
{
}

XlsTableWriter::~XlsTableWriter() = default;

QString XlsTableWriter::startFailure() const
{
    return missing ? tr("The datas is exported failed, your computer may not have installed excel.") : QString();
}

bool XlsTableWriter::start(const QString &path, const QStringList &titles, qint64 rows)
{
    this->path = path;
    this->titles = titles;
    this->rows = rows;
    // The conversion asks the export whether it was cancelled.
    AutomationOptions used = options;
    used.cancelled = [this] { return cancelledNow && cancelledNow(); };
    excel = std::make_unique<AutomationObject>(used);
    missing = !excel->setControl(QStringLiteral("Excel.Application"));
    if (missing || !spool.open())
        return false;
    spooled.setDevice(&spool);
    return true;
}

// The table's own texts, but the time as a time and the row number as a number.
bool XlsTableWriter::write(qint64 number, const DmmData &reading)
{
    QVariantList cells{int(number), reading.isStore ? QVariant() : QVariant(reading.time)};
    for (int column = 2; column < titles.size(); ++column)
        cells << DataModel::cellText(reading, int(number - 1), column);
    spooled << cells;
    return spooled.status() == QDataStream::Ok;
}

bool XlsTableWriter::finish(const std::function<bool()> &cancelled)
{
    cancelledNow = cancelled;
    if (!spool.flush() || !spool.seek(0))
        return false;
    excel->dynamicCall("SetVisible(bool)", false);
    excel->setProperty("DisplayAlerts", false);
    const bool saved = saveWorkbook();
    excel->dynamicCall("Quit(void)");
    excel.reset();
    spool.remove();
    return saved;
}

void XlsTableWriter::cancel()
{
    excel.reset();
    if (spool.isOpen()) // not when no spreadsheet application was found
        spool.remove();
}

// Every sheet, then SaveAs, which reads the rows as it writes the file.
bool XlsTableWriter::saveWorkbook()
{
    AutomationObject *workbooks = excel->querySubObject("Workbooks");
    if (!workbooks)
        return false;
    workbooks->dynamicCall("Add");
    AutomationObject *workbook = excel->querySubObject("ActiveWorkBook");
    if (!workbook)
        return false;
    AutomationObject *sheets = workbook->querySubObject("Sheets");
    AutomationObject *sheet = sheets ? sheets->querySubObject("Item(int)", 1) : nullptr;
    std::vector<std::unique_ptr<SpooledRows>> sources;
    bool filled = true;
    for (qint64 first = 0; filled; first += RowsPerSheet) {
        sources.push_back(std::make_unique<SpooledRows>(spooled));
        filled = sheet && fillSheet(sheet, int(qMin(rows - first, qint64(RowsPerSheet))), sources.back().get());
        if (first + RowsPerSheet >= rows)
            break;
        sheet = sheets->querySubObject("Add(QVariant,QVariant)", QVariant(), sheet->asVariant());
    }
    const bool saved = filled
                       && workbook
                              ->dynamicCall("SaveAs(const QString &,int,QString,QString,bool,bool)",
                                            QDir::toNativeSeparators(path), XlNormal, QString(""), QString(""),
                                            false, false)
                              .toBool();
    workbook->dynamicCall("Close(Boolean)", false);
    return saved;
}

// The header, formats and data of one sheet holding `count` rows.
bool XlsTableWriter::fillSheet(AutomationObject *sheet, int count, SpooledRows *source)
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
    if (!setNumberFormat(sheet, QStringLiteral("B3:%1%2").arg(QStringLiteral("B")).arg(count + 2), DateTimeFormat)
        || !setNumberFormat(sheet, QStringLiteral("C3:%1%2").arg(last).arg(count + 2), QStringLiteral("@")))
        return false;
    AutomationObject *data = sheet->querySubObject("Range(const QString&)", QStringLiteral("A3:%1%2").arg(last).arg(count + 2));
    if (!data)
        return false;
    data->setProperty("Value", QVariant::fromValue<RowSource *>(source));
    AutomationObject *used = sheet->querySubObject("UsedRange");
    AutomationObject *columns = used ? used->querySubObject("Columns") : nullptr;
    if (!columns)
        return false;
    columns->dynamicCall("AutoFit");
    return true;
}

// Two rows from the column titles: a title of two words gives its first to
// the group above and its second to the row below.
bool XlsTableWriter::writeHeader(AutomationObject *sheet)
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
