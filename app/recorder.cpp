#include "recorder.h"

#include "dmmdata.h"
#include "itemdata.h"
#include "metersession.h"
#include "varnok.h"

Recorder::Recorder(MeterSession &session) : session(session) {}

namespace {

QString functionOf(const DmmData &record, int line)
{
    const ChannelData *channel = record.lines[line]->channel;
    return channel ? channel->functions.value(line) : QString();
}

bool sameFunctions(const DmmData &record, const DmmData &other)
{
    return functionOf(record, 0) == functionOf(other, 0) && functionOf(record, 1) == functionOf(other, 1);
}

} // namespace

bool Recorder::offer(DmmData *record, ItemData *item)
{
    if (!item || item->type() != ItemData::MeasureData || !session.isRecording() || session.target() != item)
        return false;
    const Varnok &driver = session.driver();
    // A full item stays full; recording goes on without keeping anything.
    if (!driver.getOptInifinite() && item->count() >= driver.getSamplePoints())
        return false;

    const ChannelData &line1 = *record->lines[0]->channel;
    const ChannelData &line2 = *record->lines[1]->channel;
    if (item->count() > 0 && !sameFunctions(*record, *item->record(item->count() - 1))) {
        // An item never mixes functions: readings of another function
        // start it anew (the views showing it empty themselves).
        item->clearDatas();
        // The earlier readings stay in their journal; the new ones get a file of their own.
        session.restartJournal();
    }

    if (line1.valueModes[0] == DmmData::ValueNone || line2.valueModes[1] == DmmData::ValueNone)
        return false;
    if (item->count() == 0) {
        // What the item's exported CSV says: this recording, from its first reading.
        JournalHeader origin = session.journalHeader(item->name());
        origin.started = record->time;
        item->setOrigin(origin);
    }
    session.keep(*record);
    // The item keeps a compact copy; the views hear of it.
    item->appendData(record);
    return true;
}
