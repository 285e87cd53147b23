#include "itemviews.h"

#include "itemdata.h"
#include "tdmsummarytablewgt.h"

ItemViews::ItemViews(TDMSummaryTableWgt *table) : table(table), dataModel(new DataModel(dataColumns(), table))
{
    table->setModel(dataModel);
    table->setColumnWidths(TDMSummaryTableWgt::ColumnWidths);
}

const DataModel &ItemViews::model() const
{
    return *dataModel;
}

void ItemViews::clear()
{
    dataModel->clear();
}

void ItemViews::show(const ItemData &item)
{
    dataModel->setRecords(item.datas());
    table->scrollToBottom();
}

void ItemViews::append(const DmmData &record)
{
    dataModel->append(&record);
    table->scrollToBottom();
}
