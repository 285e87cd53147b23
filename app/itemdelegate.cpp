#include "itemdelegate.h"

#include <QLinearGradient>
#include <QPainter>

namespace {

QColor cellColour(int row, int column)
{
    const QColor titles(231, 238, 251);
    const QColor lines(214, 228, 253);
    const QColor channels(203, 221, 255);
    if (column <= 1)
        return titles;
    if (row == 0)
        return column == 2 || column == 5 ? lines : channels;
    return column <= 7 ? lines : channels;
}

// Height of the separator at the cell's right edge; 0 for none.
int separatorHeight(int row, int column)
{
    if (row == 0)
        return column == 0 || column == 2 || column == 8 ? 40 : 0;
    return (column >= 2 && column <= 6) || (column >= 8 && column <= 10) ? 28 : 0;
}

} // namespace

void ItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect cell = option.rect;
    const QColor colour = cellColour(index.row(), index.column());
    painter->save();
    painter->setPen(colour);
    painter->setBrush(colour);
    painter->drawRect(cell);

    const int barHeight = separatorHeight(index.row(), index.column());
    if (barHeight > 0) {
        const QRect bar(cell.right() - 1, cell.y() + (cell.height() - barHeight) / 2, 2, barHeight);
        QLinearGradient fade(bar.topLeft(), bar.bottomLeft());
        fade.setColorAt(0, QColor(164, 188, 240, 0));
        fade.setColorAt(0.5, QColor(164, 188, 240, 255));
        fade.setColorAt(1, QColor(164, 188, 240, 0));
        painter->fillRect(bar, fade);
    }

    QFont font = painter->font();
    font.setBold(true);
    painter->setFont(font);
    painter->setPen(QColor(51, 51, 51));
    painter->drawText(cell, Qt::AlignCenter, index.data().toString());
    painter->restore();
}
