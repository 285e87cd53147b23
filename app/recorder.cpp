#include "recorder.h"

#include "dmmdata.h"
#include "itemdata.h"
#include "itemviews.h"
#include "varnok.h"

Recorder::Recorder(const Varnok &driver, ItemViews &views) : driver(driver), views(views)
{
}

bool Recorder::isRecording() const
{
    return recording;
}

void Recorder::setRecording(bool on)
{
    recording = on;
}

bool Recorder::offer(DmmData *record, ItemData *item)
{
    if (!recording || !item || item->type() != ItemData::MeasureData)
        return false;
    // A full item stays full; recording goes on without keeping anything.
    if (!driver.getOptInifinite() && item->dataCount() >= driver.getSamplePoints())
        return false;

    const ChannelData &line1 = *record->lines[0]->channel;
    const ChannelData &line2 = *record->lines[1]->channel;
    const QString &function1 = line1.functions[0];
    const QString &function2 = line2.functions[1];
    if (item->dataCount() > 0 && (function1 != lastFunction1 || function2 != lastFunction2)) {
        // Readings of another function do not belong with the earlier ones.
        views.clear();
        item->clearDatas();
        views.show(*item);
    }
    lastFunction1 = function1;
    lastFunction2 = function2;

    if (line1.valueModes[0] == DmmData::ValueNone || line2.valueModes[1] == DmmData::ValueNone)
        return false;
    item->appendData(record);
    views.append(*record);
    return true;
}
