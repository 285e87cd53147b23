#include "datamodel.h"

#include "datetimeformat.h"
#include "dmmdata.h"
#include "readingstore.h"

#include <QCoreApplication>

namespace {

QString valueWithUnit(const QString &value, const QString &unit)
{
    // The blank stays even when the unit is empty.
    return QStringLiteral("%1 %2").arg(value, unit);
}

QString trueFalse(bool b)
{
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

QVector<DataColumn> dataColumns()
{
    const char *titles[] = {"No.",          "Date/Time", "Line1 Function", "Line1 CH", "Line1 Value", "Line2 Function",
                            "Line2 CH",     "Line2 Value", "CH1 FREQ",     "CH1 Float", "CH2 FREQ",   "CH2 Float"};
    QVector<DataColumn> columns;
    for (const char *title : titles)
        columns.append({QCoreApplication::translate("DataModel", title)});
    return columns;
}

// Rows on screen, with room for a few screens more while scrolling.
constexpr int RecentRows = 512;

DataModel::DataModel(QVector<DataColumn> columns, QObject *parent)
    : QAbstractTableModel(parent), columns(std::move(columns)), recent(RecentRows)
{
}

DataModel::~DataModel() = default;

int DataModel::rowCount(const QModelIndex &) const
{
    return rows;
}

int DataModel::columnCount(const QModelIndex &) const
{
    return columns.size();
}

QVariant DataModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows || index.column() >= columns.size())
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    return cellText(built(index.row()), index.row(), index.column());
}

QVariant DataModel::cellText(const DmmData &record, int row, int column)
{
    const ChannelData &line1 = *record.lines[0]->channel;
    const ChannelData &line2 = *record.lines[1]->channel;
    const ChannelData &ch1 = *record.channels[0];
    const ChannelData &ch2 = *record.channels[1];
    // A stored reading has neither a time of its own nor frequencies.
    const bool stored = record.isStore;
    switch (column) {
    case 0:
        return row + 1;
    case 1:
        return stored ? QString() : record.time.toString(DateTimeFormat);
    case 2:
        return line1.functions[0];
    case 3:
        return QString::number(line1.number);
    case 4:
        return valueWithUnit(line1.valueTexts[0], line1.unitTexts[0]);
    case 5:
        return line2.functions[1];
    case 6:
        return QString::number(line2.number);
    case 7:
        return valueWithUnit(line2.valueTexts[1], line2.unitTexts[1]);
    case 8:
        return stored ? QString() : valueWithUnit(ch1.frequencyText, ch1.frequencyUnit);
    case 9:
        return trueFalse(ch1.floating);
    case 10:
        return stored ? QString() : valueWithUnit(ch2.frequencyText, ch2.frequencyUnit);
    case 11:
        return trueFalse(ch2.floating);
    default:
        return QVariant();
    }
}

QVariant DataModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columns.size())
        return QVariant();
    return columns[section].title;
}

bool DataModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (row < 0 || row >= rows || count <= 0)
        return false;
    const int last = qMin(qint64(row) + count, qint64(rows)) - 1;
    beginRemoveRows(parent, row, last);
    std::vector<Span> kept;
    qint64 spanRow = 0;
    for (const Span &span : spans) {
        const qint64 cutFrom = std::max<qint64>(row, spanRow);
        const qint64 cutTo = std::min<qint64>(last + 1, spanRow + span.count);
        if (cutFrom >= cutTo) {
            kept.push_back(span);
        } else {
            if (cutFrom > spanRow)
                kept.push_back({span.first, cutFrom - spanRow});
            if (cutTo < spanRow + span.count)
                kept.push_back({span.first + cutTo - spanRow, spanRow + span.count - cutTo});
        }
        spanRow += span.count;
    }
    spans = std::move(kept);
    rows -= last - row + 1;
    endRemoveRows();
    return true;
}

void DataModel::show(std::shared_ptr<const ReadingStore> readings)
{
    beginResetModel();
    store = std::move(readings);
    recent.clear();
    spans.clear();
    rows = 0;
    taken = 0;
    if (store && store->count() > 0) {
        taken = store->count();
        spans.push_back({0, taken});
        rows = static_cast<int>(taken);
    }
    endResetModel();
}

void DataModel::setReadingCount(qint64 count)
{
    if (!store || count <= taken)
        return;
    beginInsertRows(QModelIndex(), rows, static_cast<int>(rows + count - taken - 1));
    if (!spans.empty() && spans.back().first + spans.back().count == taken)
        spans.back().count += count - taken;
    else
        spans.push_back({taken, count - taken});
    rows += static_cast<int>(count - taken);
    taken = count;
    endInsertRows();
}

void DataModel::clear()
{
    if (rows > 0) {
        beginRemoveRows(QModelIndex(), 0, rows - 1);
        spans.clear();
        rows = 0;
        endRemoveRows();
    }
    store.reset();
    recent.clear();
    taken = 0;
}

std::shared_ptr<const ReadingStore> DataModel::readings() const
{
    return store;
}

std::unique_ptr<DmmData> DataModel::record(int row) const
{
    if (row < 0 || row >= rows)
        return nullptr;
    return store->record(readingOf(row));
}

qint64 DataModel::readingOf(int row) const
{
    qint64 spanRow = 0;
    for (const Span &span : spans) {
        if (row < spanRow + span.count)
            return span.first + row - spanRow;
        spanRow += span.count;
    }
    return -1;
}

const DmmData &DataModel::built(int row) const
{
    const qint64 reading = readingOf(row);
    if (const DmmData *kept = recent.object(reading))
        return *kept;
    DmmData *record = store->record(reading).release();
    recent.insert(reading, record);
    return *record;
}
