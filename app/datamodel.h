#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QVector>

class DmmData;

// One column of the data table and of the spreadsheet export.
struct DataColumn
{
    QString title;
};

// The twelve columns, with their translated titles.
QVector<DataColumn> dataColumns();

// The records of the active item as table rows. The model never owns a
// record: the item does, and every path that deletes records clears the
// model first.
class DataModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit DataModel(QVector<DataColumn> columns, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    void append(const DmmData *record);
    // Every record of an item at once: one reset, however many rows.
    void setRecords(const QList<DmmData *> &records);
    void clear();
    const DmmData *record(int row) const;

    // The display text of a cell; column 0 is the row number.
    static QVariant cellText(const DmmData &record, int row, int column);

private:
    QList<const DmmData *> rows;
    QVector<DataColumn> columns;
};
