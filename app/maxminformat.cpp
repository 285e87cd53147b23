#include "maxminformat.h"

#include "dmmdata.h"
#include "engprefix.h"
#include "varnok.h"

namespace {

QString sentinelText(DmmData::ValueMode mode)
{
    const QString text = Varnok::getValueStr(mode);
    // A space before OL, as the meter shows it.
    return mode == DmmData::ValueOverload ? QLatin1Char(' ') + text : text;
}

} // namespace

MaxMinText formatMaxMin(double value, const LineData &line)
{
    const ChannelData &channel = *line.channel;
    // Line 1's function sits at the first position of its channel's list.
    const QString function = channel.functions[0].toUpper();
    const bool volts = function == QLatin1String("VOLT") || function == QLatin1String("VPP");
    const bool watts = function == QLatin1String("WATT");
    const bool db = function.startsWith(QLatin1String("DB"));

    MaxMinText text;
    const DmmData::ValueMode mode = Varnok::getValueMode(value);
    if (mode != DmmData::ValueNormal) {
        text.value = sentinelText(mode);
        text.unit = volts ? channel.rangeUnit : watts ? QStringLiteral("W") : QString();
    } else {
        int decimals = 0;
        if (volts) {
            value *= EngPrefix::rangeUnitFactor(channel.rangeUnit);
            decimals = EngPrefix::decimalsForDigits(5, channel.rangeValue.toDouble());
            text.unit = channel.rangeUnit + (function == QLatin1String("VPP") ? QStringLiteral("p-p") : QString());
        } else if (watts) {
            const EngPrefix::Scaled scaled = EngPrefix::scaleToPrefix(value);
            value = scaled.value;
            text.unit = scaled.prefix + QLatin1Char('W');
            decimals = EngPrefix::decimalsForDigits(5, value);
        } else if (db) {
            decimals = 3;
        }
        text.value = QString::number(value, 'f', decimals);
    }
    if (db)
        text.unit = EngPrefix::decibelUnit(function);
    text.unit = EngPrefix::withMicroSign(text.unit);
    return text;
}
