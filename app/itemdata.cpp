#include "itemdata.h"

#include "dmmdata.h"
#include "recorddisposal.h"

ItemData::ItemData(const QString &name, DataType type, QObject *parent)
    : QObject(parent), m_name(name), m_type(type)
{
}

ItemData::~ItemData()
{
    emit recordsAboutToGo();
    RecordDisposal::dispose(m_datas);
}

QString ItemData::name() const
{
    return m_name;
}

void ItemData::setName(const QString &name)
{
    m_name = name;
}

QList<DmmData *> ItemData::datas() const
{
    return m_datas;
}

int ItemData::dataCount() const
{
    return m_datas.size();
}

void ItemData::appendData(DmmData *data)
{
    m_datas.append(data);
}

void ItemData::clearDatas()
{
    emit recordsAboutToGo();
    RecordDisposal::dispose(m_datas);
    m_datas.clear();
}

ItemData::DataType ItemData::type() const
{
    return m_type;
}
