#pragma once

#include <QIcon>
#include <QModelIndex>
#include <QString>

class ItemData;
class QStandardItem;
class QTreeView;
class TvItemModel;

// The item tree: the fixed "Store Data" and "Live Data" roots, the
// measurement items under "Live Data", and the marking of the active one.
// The model owns every item; this class only arranges the nodes.
class ItemTree
{
public:
    // Builds the roots and Measure1 in `view`, with a model owned by `view`.
    explicit ItemTree(QTreeView *view);

    QModelIndex storeIndex() const;
    QModelIndex liveIndex() const;
    ItemData *storeItem() const;
    QModelIndex firstMeasureIndex() const;

    // "Measure" and one more than the items whose names start with it.
    QString proposedName() const;
    QModelIndex appendMeasureItem(const QString &name);
    void rename(const QModelIndex &index, const QString &name);
    // Names the "Store Data" root after the meter's stored count: "Store Data(3)".
    void showStoredCount(int count);
    // Removes the node and deletes its item with all its records.
    void remove(const QModelIndex &index);
    // Bold and coloured on `index` only.
    void markActive(const QModelIndex &index);

    static bool isStoreNode(const QModelIndex &index);
    static bool isLiveNode(const QModelIndex &index);

private:
    TvItemModel *itemModel; // owned by the view
    QStandardItem *liveDataNode;
    QIcon measureIcon;
};
