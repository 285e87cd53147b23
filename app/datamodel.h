#pragma once

#include "dmmdata.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QList>
#include <QString>
#include <QVector>

#include <memory>
#include <vector>

class ReadingStore;

// One column of the data table and of the spreadsheet export.
struct DataColumn
{
    QString title;
};

// The twelve columns, with their translated titles.
QVector<DataColumn> dataColumns();

// The readings of the active item as table rows, read from the item's store
// by index: a row's record is built when the row is asked for, and the few
// built last are kept for the next request. Rows the model is told to remove
// leave the store alone.
class DataModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit DataModel(QVector<DataColumn> columns, QObject *parent = nullptr);
    ~DataModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    // Every reading of `readings` as a row, in place of what was shown: one
    // reset, however many rows.
    void show(std::shared_ptr<const ReadingStore> readings);
    // Rows for the readings appended since, up to `count` readings.
    void setReadingCount(qint64 count);
    void clear();
    std::shared_ptr<const ReadingStore> readings() const;
    // The record of a row, built from the store.
    std::unique_ptr<DmmData> record(int row) const;

    // The display text of a cell; column 0 is the row number.
    static QVariant cellText(const DmmData &record, int row, int column);

private:
    // Readings [first, first + count) of the store shown as consecutive rows.
    struct Span
    {
        qint64 first;
        qint64 count;
    };

    qint64 readingOf(int row) const;
    const DmmData &built(int row) const;

    QVector<DataColumn> columns;
    std::shared_ptr<const ReadingStore> store;
    std::vector<Span> spans; // one, unless rows were removed
    int rows = 0;
    qint64 taken = 0; // readings of the store that became rows
    mutable QCache<qint64, DmmData> recent;
};
