#include "linereading.h"

#include "engprefix.h"
#include "varnok.h"

LineReading LineReading::of(const DmmData &record, int line)
{
    LineReading reading;
    const LineData *lineData = record.lines.value(line);
    const ChannelData *channel = lineData ? lineData->channel : nullptr;
    if (!channel)
        return reading;
    reading.present = true;
    reading.function = channel->functions.value(line);
    reading.mode = DmmData::ValueMode(channel->valueModes.value(line));
    reading.value = channel->values.value(line);
    reading.valueText = channel->valueTexts.value(line).trimmed();
    reading.unitText = channel->unitTexts.value(line);
    return reading;
}

QString LineReading::plainText() const
{
    if (mode != DmmData::ValueNormal)
        return Varnok::getValueStr(mode);
    const QString unit = EngPrefix::baseUnit(function);
    const QString number = QString::fromLatin1(EngPrefix::plainNumber(value));
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}
