#pragma once

#include "chartfeeder.h"
#include "datamodel.h"

#include <QMetaObject>

class ItemData;
class QTabWidget;
class TDMSummaryTableWgt;

// The table, the chart and the histogram that show the readings of the
// active item. They read the item's store for what is on screen, follow the
// readings the item appends, and empty themselves when the item announces
// that its readings go. Showing an item costs the same for any length.
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
    // Every reading of the item, in place of what was shown; then each one
    // it appends, the table scrolled to it.
    void show(const ItemData &item);

private:
    void display(const std::shared_ptr<const ReadingStore> &readings);
    void follow(const ItemData &item, qint64 count);

    TDMSummaryTableWgt *table;
    DataModel *dataModel; // owned by the table
    Histogram *histogram;
    ChartFeeder chart;
    QMetaObject::Connection shownItemGoing;
    QMetaObject::Connection shownItemGrowing;
};
