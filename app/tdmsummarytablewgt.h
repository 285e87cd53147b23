#pragma once

#include <QTableView>

class QTableWidget;

// The data table of the active measurement item. Its header is a two-row
// table laid over the view's own header and scrolled with it.
class TDMSummaryTableWgt : public QTableView
{
    Q_OBJECT
public:
    explicit TDMSummaryTableWgt(QWidget *parent = nullptr);

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    // Gives every column of the table and the header the same width.
    void setColumnWidths(const QList<int> &widths);

    static const QList<int> ColumnWidths;

protected:
    void resizeEvent(QResizeEvent *event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    void placeHeader();

    QTableWidget *header; // child of the view
};
