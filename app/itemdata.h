#pragma once

#include "journalformat.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class DmmData;
class ReadingStore;

// A named run of readings shown as one node of the item tree, kept compactly
// in a ReadingStore. Records are built on demand from it. Whatever shows the
// readings hears recordsAboutToGo() before they go (cleared, or the item
// deleted), and appended() after each new reading.
class ItemData : public QObject
{
    Q_OBJECT
public:
    enum DataType { LiveData = 0, MeasureData = 1, StoreData = 3 };

    ItemData(const QString &name, DataType type, QObject *parent = nullptr);
    ~ItemData() override;

    QString name() const;
    void setName(const QString &name);
    qint64 count() const;
    // The record at `index` (below count()), built from the store.
    std::unique_ptr<DmmData> record(qint64 index) const;
    // The readings; a worker thread keeps them alive through this even when
    // the item goes or is cleared meanwhile.
    std::shared_ptr<const ReadingStore> store() const;
    // Takes ownership of `data` and keeps a compact copy of it.
    void appendData(DmmData *data);
    void clearDatas();
    // In place of the readings held: the readings of an opened journal.
    void setStore(std::shared_ptr<ReadingStore> readings);
    // The readings appended from now on are kept in the binary file beside
    // the journal they are recorded to (see ReadingCache::keepLive).
    void keepReadingsBeside(const QString &journal);
    DataType type() const;
    // The header the item's readings were recorded or read with: the
    // journal's for an item read from one, the recording's otherwise.
    const std::optional<JournalHeader> &origin() const;
    void setOrigin(const JournalHeader &header);

signals:
    void recordsAboutToGo();
    void appended(qint64 first, qint64 count);

private:
    QString m_name;
    std::shared_ptr<ReadingStore> m_store;
    DataType m_type;
    std::optional<JournalHeader> m_origin;
};
