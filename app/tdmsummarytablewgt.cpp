#include "tdmsummarytablewgt.h"

#include "itemdelegate.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>

const QList<int> TDMSummaryTableWgt::ColumnWidths{60, 130, 50, 30, 90, 50, 30, 90, 80, 60, 80, 60};

TDMSummaryTableWgt::TDMSummaryTableWgt(QWidget *parent) : QTableView(parent), header(new QTableWidget(this))
{
    header->horizontalHeader()->hide();
    header->verticalHeader()->hide();
    header->setShowGrid(false);
    header->setEditTriggers(NoEditTriggers);
    header->setFocusPolicy(Qt::NoFocus);
    header->setFrameShape(QFrame::NoFrame);
    header->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    header->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    header->setHorizontalScrollMode(ScrollPerPixel);
    header->setItemDelegate(new ItemDelegate(header));
    viewport()->stackUnder(header);

    header->setColumnCount(12);
    header->setRowCount(2);
    header->setSpan(0, 0, 2, 1);
    header->setSpan(0, 1, 2, 1);
    header->setSpan(0, 2, 1, 3);
    header->setSpan(0, 5, 1, 3);
    header->setSpan(0, 8, 1, 2);
    header->setSpan(0, 10, 1, 2);
    const auto title = [this](int row, int column, const char *text) {
        header->setItem(row, column, new QTableWidgetItem(tr(text)));
    };
    title(0, 0, "No.");
    title(0, 1, "Date/Time");
    title(0, 2, "Line1");
    title(0, 5, "Line2");
    title(0, 8, "CH1");
    title(0, 10, "CH2");
    for (int column : {2, 5})
        title(1, column, "FUN");
    for (int column : {3, 6})
        title(1, column, "CH");
    for (int column : {4, 7})
        title(1, column, "Value");
    for (int column : {8, 10})
        title(1, column, "FREQ");
    for (int column : {9, 11})
        title(1, column, "Float");
    setColumnWidths(ColumnWidths);

    // Either scroll bar moves the other: the header goes with the table.
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, header->horizontalScrollBar(), &QScrollBar::setValue);
    connect(header->horizontalScrollBar(), &QScrollBar::valueChanged, horizontalScrollBar(), &QScrollBar::setValue);

    horizontalHeader()->setFixedHeight(header->rowHeight(0) + header->rowHeight(1));
    verticalHeader()->hide();
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollMode(ScrollPerPixel);
    placeHeader();
    header->show();
}

void TDMSummaryTableWgt::setColumnWidths(const QList<int> &widths)
{
    for (int column = 0; column < widths.size(); ++column) {
        int width = widths[column];
        // A date and time is never cut short, whatever the font's size.
        if (column == 1)
            width = qMax(width, fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 16);
        setColumnWidth(column, width);
        header->setColumnWidth(column, width);
    }
}

void TDMSummaryTableWgt::placeHeader()
{
    header->setGeometry(0, 0, viewport()->width(), horizontalHeader()->height());
}

void TDMSummaryTableWgt::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    placeHeader();
}

void TDMSummaryTableWgt::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    // Row 0 sits under the overlay's edge already; scrolling to it would jump.
    if (index.row() > 0)
        QTableView::scrollTo(index, hint);
}

QModelIndex TDMSummaryTableWgt::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex index = QTableView::moveCursor(cursorAction, modifiers);
    if (cursorAction == MoveUp && index.row() >= 1) {
        const int top = visualRect(index).top();
        const int covered = header->rowHeight(1);
        // A row that went under the header is scrolled back into view.
        if (top < covered)
            verticalScrollBar()->setValue(verticalScrollBar()->value() + top - header->rowHeight(0) - covered);
    }
    return index;
}
