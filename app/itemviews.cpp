#include "itemviews.h"

#include "itemdata.h"
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
    shownItemGoing = QObject::connect(&item, &ItemData::recordsAboutToGo, table, [this] { clear(); });
    const QList<DmmData *> records = item.datas();
    histogram->clear();
    dataModel->setRecords(records);
    table->scrollToBottom();
    chart.fill(records);
}

void ItemViews::append(const DmmData &record)
{
    dataModel->append(&record);
    table->scrollToBottom();
    chart.append(record);
}
