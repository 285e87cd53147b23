#pragma once

#include <QTableView>

// The data table of the active measurement item, under a two-row header.
// Placed by the main window form; its header is added with the data table.
class TDMSummaryTableWgt : public QTableView
{
    Q_OBJECT
public:
    explicit TDMSummaryTableWgt(QWidget *parent = nullptr) : QTableView(parent) {}
};
