#include "itemviews.h"

#include "itemdata.h"
#include "readingstore.h"
#include "tdmsummarytablewgt.h"

ItemViews::ItemViews(TDMSummaryTableWgt *table, DMMChart *chart, Histogram *histogram)
    : table(table), dataModel(new DataModel(dataColumns(), table)), histogram(histogram), chart(chart, histogram)
{
    table->setModel(dataModel);
    table->setColumnWidths(TDMSummaryTableWgt::ColumnWidths);
}

ItemViews::~ItemViews()
{
    QObject::disconnect(shownItemGoing);
    QObject::disconnect(shownItemGrowing);
}

void ItemViews::setUpCharts(QTabWidget *tabs, QWidget *histogramTab)
{
    chart.setUp(tabs, histogramTab);
}

const DataModel &ItemViews::model() const
{
    return *dataModel;
}

void ItemViews::clear()
{
    dataModel->clear();
    histogram->clear();
    chart.clear();
}

void ItemViews::show(const ItemData &item)
{
    QObject::disconnect(shownItemGoing);
    QObject::disconnect(shownItemGrowing);
    shownItemGoing = QObject::connect(&item, &ItemData::recordsAboutToGo, table, [this] { clear(); });
    shownItemGrowing = QObject::connect(&item, &ItemData::appended, table,
                                        [this, &item](qint64 first, qint64 count) { follow(item, first + count); });
    display(item.store());
}

void ItemViews::display(const std::shared_ptr<const ReadingStore> &readings)
{
    histogram->clear();
    dataModel->show(readings);
    table->scrollToBottom();
    chart.show(readings);
}

void ItemViews::follow(const ItemData &item, qint64 count)
{
    // An item emptied (and so cleared from view) starts a new store.
    const std::shared_ptr<const ReadingStore> readings = item.store();
    if (readings != dataModel->readings()) {
        display(readings);
        return;
    }
    dataModel->setReadingCount(count);
    table->scrollToBottom();
    chart.grow(*readings, count);
}
