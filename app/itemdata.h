#pragma once

#include <QList>
#include <QObject>
#include <QString>

class DmmData;

// A named list of readings shown as one node of the item tree. The item owns
// its records; whatever shows them hears recordsAboutToGo() before they are
// freed (cleared, or the item deleted), and lets go of them then.
class ItemData : public QObject
{
    Q_OBJECT
public:
    enum DataType { LiveData = 0, MeasureData = 1, StoreData = 3 };

    ItemData(const QString &name, DataType type, QObject *parent = nullptr);
    ~ItemData() override;

    QString name() const;
    void setName(const QString &name);
    QList<DmmData *> datas() const;
    int dataCount() const;
    // Takes ownership of `data`.
    void appendData(DmmData *data);
    void clearDatas();
    DataType type() const;

signals:
    void recordsAboutToGo();

private:
    QString m_name;
    QList<DmmData *> m_datas;
    DataType m_type;
};
