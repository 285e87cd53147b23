#pragma once

#include "datamodel.h"

class DmmData;
class ItemData;
class TDMSummaryTableWgt;

// The table (and chart) that show the records of the active item. They
// refer to the item's records and never own them.
class ItemViews
{
public:
    explicit ItemViews(TDMSummaryTableWgt *table);

    const DataModel &model() const;
    void clear();
    // Every record of the item, in one batch.
    void show(const ItemData &item);
    // One more record at the end; the table scrolls to it.
    void append(const DmmData &record);

private:
    TDMSummaryTableWgt *table;
    DataModel *dataModel; // owned by the table
};
