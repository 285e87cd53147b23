#pragma once

#include <QStyledItemDelegate>

// Paints the cells of the data table's two-row header: coloured by group,
// with soft separators and bold centred titles.
class ItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
