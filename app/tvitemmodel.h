#pragma once

#include <QStandardItemModel>

class ItemData;

// Model of the item tree. Each node carries its ItemData under ItemRole and
// shows the item's name; the node of the active item is bold and orange.
// The model owns the ItemData of its nodes: whoever removes a node deletes
// its item, and what is left is deleted with the model.
class TvItemModel : public QStandardItemModel
{
    Q_OBJECT
public:
    enum Roles { ActiveRole = Qt::UserRole + 1, ItemRole = Qt::UserRole + 2 };

    explicit TvItemModel(QObject *parent = nullptr);
    ~TvItemModel() override;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // Shows the node's item under the name it has now.
    void nameChanged(const QModelIndex &index);

    static ItemData *nodeItem(const QModelIndex &index);
    static ItemData *nodeItem(const QStandardItem *node);
    static void setNodeItem(QStandardItem *node, ItemData *item);

signals:
    void editDataChanged(const QModelIndex &index);

private:
    void deleteItemDatas(const QStandardItem *node);
};
