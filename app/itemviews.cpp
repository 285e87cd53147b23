#include "itemviews.h"

#include "dmmdata.h"
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
    shownRecords.clear();
}

void ItemViews::show(const ItemData &item)
{
    QObject::disconnect(shownItemGoing);
    QObject::disconnect(shownItemGrowing);
    shownItemGoing = QObject::connect(&item, &ItemData::recordsAboutToGo, table, [this] { clear(); });
    shownItemGrowing = QObject::connect(&item, &ItemData::appended, table, [this, &item](qint64 first, qint64 count) {
        for (qint64 index = first; index < first + count; ++index) {
            shownRecords.push_back(item.record(index));
            dataModel->append(shownRecords.back().get());
            chart.append(*shownRecords.back());
        }
        table->scrollToBottom();
    });
    histogram->clear();
    QList<DmmData *> records;
    std::vector<std::unique_ptr<DmmData>> built;
    built.reserve(size_t(item.count()));
    for (qint64 index = 0; index < item.count(); ++index) {
        built.push_back(item.record(index));
        records.append(built.back().get());
    }
    dataModel->setRecords(records);
    table->scrollToBottom();
    chart.fill(records);
    shownRecords = std::move(built);
}
