#include "tvitemmodel.h"

#include "itemdata.h"

#include <QColor>
#include <QFont>

TvItemModel::TvItemModel(QObject *parent) : QStandardItemModel(parent)
{
}

TvItemModel::~TvItemModel()
{
    deleteItemDatas(invisibleRootItem());
}

void TvItemModel::deleteItemDatas(const QStandardItem *node)
{
    for (int row = 0; row < node->rowCount(); ++row) {
        const QStandardItem *child = node->child(row);
        deleteItemDatas(child);
        delete nodeItem(child);
    }
}

void TvItemModel::nameChanged(const QModelIndex &index)
{
    emit dataChanged(index, index, {Qt::DisplayRole});
}

ItemData *TvItemModel::nodeItem(const QModelIndex &index)
{
    return qobject_cast<ItemData *>(index.data(ItemRole).value<QObject *>());
}

ItemData *TvItemModel::nodeItem(const QStandardItem *node)
{
    return node ? qobject_cast<ItemData *>(node->data(ItemRole).value<QObject *>()) : nullptr;
}

void TvItemModel::setNodeItem(QStandardItem *node, ItemData *item)
{
    node->setData(QVariant::fromValue<QObject *>(item), ItemRole);
}

QVariant TvItemModel::data(const QModelIndex &index, int role) const
{
    switch (role) {
    case Qt::DisplayRole: {
        const ItemData *item = qobject_cast<ItemData *>(
            QStandardItemModel::data(index, ItemRole).value<QObject *>());
        return item ? item->name() : QString();
    }
    case Qt::FontRole: {
        QFont font = QStandardItemModel::data(index, role).value<QFont>();
        font.setWeight(QStandardItemModel::data(index, ActiveRole).toBool() ? QFont::Bold : QFont::Normal);
        return font;
    }
    case Qt::ForegroundRole:
        if (QStandardItemModel::data(index, ActiveRole).toBool())
            return QColor("#d57d00");
        return QStandardItemModel::data(index, role);
    default:
        return QStandardItemModel::data(index, role);
    }
}

bool TvItemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const QString oldText = data(index, Qt::DisplayRole).toString();
    const bool result = QStandardItemModel::setData(index, value, role);
    if (role == Qt::EditRole && value.toString() != oldText)
        emit editDataChanged(index);
    return result;
}
