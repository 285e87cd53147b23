#include "datamodel.h"

#include "datetimeformat.h"
#include "dmmdata.h"

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

DataModel::DataModel(QVector<DataColumn> columns, QObject *parent)
    : QAbstractTableModel(parent), columns(std::move(columns))
{
}

int DataModel::rowCount(const QModelIndex &) const
{
    return rows.size();
}

int DataModel::columnCount(const QModelIndex &) const
{
    return columns.size();
}

QVariant DataModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size() || index.column() >= columns.size())
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    return cellText(*rows[index.row()], index.row(), index.column());
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
    if (row < 0 || row >= rows.size() || count <= 0)
        return false;
    const int last = qMin(row + count, rows.size()) - 1;
    beginRemoveRows(parent, row, last);
    rows.erase(rows.begin() + row, rows.begin() + last + 1);
    endRemoveRows();
    return true;
}

void DataModel::append(const DmmData *record)
{
    beginInsertRows(QModelIndex(), rows.size(), rows.size());
    rows.append(record);
    endInsertRows();
}

void DataModel::setRecords(const QList<DmmData *> &records)
{
    beginResetModel();
    rows.clear();
    rows.reserve(records.size());
    for (const DmmData *record : records)
        rows.append(record);
    endResetModel();
}

void DataModel::clear()
{
    if (rows.isEmpty())
        return;
    beginRemoveRows(QModelIndex(), 0, rows.size() - 1);
    rows.clear();
    endRemoveRows();
}

const DmmData *DataModel::record(int row) const
{
    return rows.value(row);
}
