#pragma once

#include "chartfeeder.h"
#include "datamodel.h"

#include <QMetaObject>

class DmmData;
class ItemData;
class QTabWidget;
class TDMSummaryTableWgt;

// The table, the chart and the histogram that show the records of the
// active item. They refer to the item's records and never own them, and
// empty themselves when the item they show announces that its records go.
class ItemViews
{
public:
    ItemViews(TDMSummaryTableWgt *table, DMMChart *chart, Histogram *histogram);
    ~ItemViews();
    ItemViews(const ItemViews &) = delete;
    ItemViews &operator=(const ItemViews &) = delete;

    // The chart's and the histogram's set-up; the histogram's tab goes.
    void setUpCharts(QTabWidget *tabs, QWidget *histogramTab);

    const DataModel &model() const;
    void clear();
    // Every record of the item, in one batch, in place of what was shown.
    void show(const ItemData &item);
    // One more record at the end; the table scrolls to it.
    void append(const DmmData &record);

private:
    TDMSummaryTableWgt *table;
    DataModel *dataModel; // owned by the table
    Histogram *histogram;
    ChartFeeder chart;
    QMetaObject::Connection shownItemGoing;
};
