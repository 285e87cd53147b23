#pragma once

#include "chartfeeder.h"
#include "datamodel.h"

#include <QMetaObject>

#include <memory>
#include <vector>

class DmmData;
class ItemData;
class QTabWidget;
class TDMSummaryTableWgt;

// The table, the chart and the histogram that show the records of the
// active item. They show records built from the item, and empty themselves
// when the item announces that its records go.
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
    // Every record of the item, in one batch, in place of what was shown;
    // then each record appended to it, the table scrolled to it.
    void show(const ItemData &item);

private:
    TDMSummaryTableWgt *table;
    DataModel *dataModel; // owned by the table
    Histogram *histogram;
    ChartFeeder chart;
    QMetaObject::Connection shownItemGoing;
    QMetaObject::Connection shownItemGrowing;
    std::vector<std::unique_ptr<DmmData>> shownRecords; // built from the shown item for the table and chart
};
