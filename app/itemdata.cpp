#include "itemdata.h"

#include "dmmdata.h"
#include "readingcache.h"
#include "readingstore.h"

ItemData::ItemData(const QString &name, DataType type, QObject *parent)
    : QObject(parent), m_name(name), m_store(std::make_shared<ReadingStore>()), m_type(type)
{
}

ItemData::~ItemData()
{
    emit recordsAboutToGo();
}

QString ItemData::name() const
{
    return m_name;
}

void ItemData::setName(const QString &name)
{
    m_name = name;
}

qint64 ItemData::count() const
{
    return m_store->count();
}

std::unique_ptr<DmmData> ItemData::record(qint64 index) const
{
    return m_store->record(index);
}

std::shared_ptr<const ReadingStore> ItemData::store() const
{
    return m_store;
}

void ItemData::appendData(DmmData *data)
{
    const std::unique_ptr<DmmData> owned(data);
    const qint64 first = m_store->count();
    m_store->append(*owned);
    emit appended(first, 1);
}

void ItemData::clearDatas()
{
    emit recordsAboutToGo();
    m_store = std::make_shared<ReadingStore>();
}

void ItemData::setStore(std::shared_ptr<ReadingStore> readings)
{
    emit recordsAboutToGo();
    m_store = std::move(readings);
}

void ItemData::keepReadingsBeside(const QString &journal)
{
    ReadingCache::keepLive(journal, *m_store);
}

ItemData::DataType ItemData::type() const
{
    return m_type;
}

const std::optional<JournalHeader> &ItemData::origin() const
{
    return m_origin;
}

void ItemData::setOrigin(const JournalHeader &header)
{
    m_origin = header;
}
