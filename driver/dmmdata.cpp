#include "dmmdata.h"

DmmData::DmmData(QObject *parent) : QObject(parent)
{
    for (int number = 1; number <= 2; ++number) {
        auto *channel = new ChannelData;
        channel->number = number;
        channels.append(channel);
    }
    lines.append(new LineData);
    lines.append(new LineData);
}

// The trigger source goes with the rate: the copy is all the window learns of
// the meter, and its control panel shows the source.
DmmData::DmmData(const DmmData &other) : QObject(nullptr), rate(other.rate), triggerSource(other.triggerSource)
{
    for (const ChannelData *channel : other.channels)
        channels.append(new ChannelData(*channel));
    for (const LineData *line : other.lines) {
        auto *copy = new LineData(*line);
        // A line shows the copy's own entry of its channel: a private copy
        // per line would hold the same values once more for every reading
        // kept. A line not bound to a channel yet stays unbound.
        if (line->channel)
            copy->channel = channels.value(line->channel->number - 1);
        lines.append(copy);
    }
}

DmmData::~DmmData()
{
    qDeleteAll(lines);
    qDeleteAll(channels);
}
