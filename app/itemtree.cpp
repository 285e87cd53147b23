#include "itemtree.h"

#include "itemdata.h"
#include "tvitemmodel.h"

#include <QCoreApplication>
#include <QStandardItem>
#include <QTreeView>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ItemTree", text);
}

const QString MeasurePrefix = QStringLiteral("Measure");

} // namespace

ItemTree::ItemTree(QTreeView *view)
    : itemModel(new TvItemModel(view)), measureIcon(QStringLiteral(":/image/measure.png"))
{
    itemModel->setHorizontalHeaderLabels({tr("Name")});
    view->setModel(itemModel);

    auto *storeNode = new QStandardItem(QIcon(QStringLiteral(":/image/rom.png")), QString());
    TvItemModel::setNodeItem(storeNode, new ItemData(tr("Store Data"), ItemData::StoreData));
    itemModel->appendRow(storeNode);

    liveDataNode = new QStandardItem(QIcon(QStringLiteral(":/image/live.png")), QString());
    TvItemModel::setNodeItem(liveDataNode, new ItemData(tr("Live Data"), ItemData::LiveData));
    itemModel->appendRow(liveDataNode);

    appendMeasureItem(MeasurePrefix + QLatin1Char('1'));
    view->expandAll();
}

QModelIndex ItemTree::storeIndex() const
{
    return itemModel->index(0, 0);
}

QModelIndex ItemTree::liveIndex() const
{
    return liveDataNode->index();
}

ItemData *ItemTree::storeItem() const
{
    return TvItemModel::nodeItem(storeIndex());
}

QModelIndex ItemTree::firstMeasureIndex() const
{
    return itemModel->index(0, 0, liveIndex());
}

QString ItemTree::proposedName() const
{
    int n = 1;
    for (int row = 0; row < itemModel->rowCount(); ++row) {
        const QStandardItem *root = itemModel->item(row);
        for (int child = -1; child < root->rowCount(); ++child) {
            const ItemData *item = TvItemModel::nodeItem(child < 0 ? root : root->child(child));
            if (item && item->name().startsWith(MeasurePrefix))
                ++n;
        }
    }
    return MeasurePrefix + QString::number(n);
}

QModelIndex ItemTree::appendMeasureItem(const QString &name)
{
    auto *node = new QStandardItem(measureIcon, QString());
    TvItemModel::setNodeItem(node, new ItemData(name, ItemData::MeasureData));
    liveDataNode->appendRow(node);
    return node->index();
}

void ItemTree::rename(const QModelIndex &index, const QString &name)
{
    TvItemModel::nodeItem(index)->setName(name);
    itemModel->nameChanged(index);
}

void ItemTree::showStoredCount(int count)
{
    const QString name = QStringLiteral("%1(%2)").arg(tr("Store Data")).arg(count);
    if (storeItem()->name() != name)
        rename(storeIndex(), name);
}

void ItemTree::remove(const QModelIndex &index)
{
    // Out of the tree first, so that nothing shows a deleted item.
    ItemData *item = TvItemModel::nodeItem(index);
    itemModel->removeRow(index.row(), index.parent());
    delete item;
}

void ItemTree::markActive(const QModelIndex &index)
{
    for (int row = 0; row < itemModel->rowCount(); ++row) {
        QStandardItem *root = itemModel->item(row);
        root->setData(false, TvItemModel::ActiveRole);
        for (int child = 0; child < root->rowCount(); ++child)
            root->child(child)->setData(false, TvItemModel::ActiveRole);
    }
    itemModel->setData(index, true, TvItemModel::ActiveRole);
}

bool ItemTree::isStoreNode(const QModelIndex &index)
{
    return index.isValid() && !index.parent().isValid() && index.row() == 0;
}

bool ItemTree::isLiveNode(const QModelIndex &index)
{
    return index.isValid() && !index.parent().isValid() && index.row() == 1;
}
