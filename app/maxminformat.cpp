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

// dB, dBm, dBuV, dBmV, dBV from DB, DBM, DBUV, DBMV, DBV.
QString dbUnit(const QString &function)
{
    QString unit = function.mid(2);
    if (!unit.isEmpty() && unit.at(0) != QLatin1Char('V'))
        unit[0] = unit.at(0).toLower();
    return QStringLiteral("dB") + unit;
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
            // The reading is in volts; the range may be in mV or uV.
            const QString rangeUnit = channel.rangeUnit.toUpper();
            if (rangeUnit == QLatin1String("MV"))
                value *= 1e3;
            else if (rangeUnit == QLatin1String("UV"))
                value *= 1e6;
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
        text.unit = dbUnit(function);
    const int micro = text.unit.indexOf(QLatin1Char('u'));
    if (micro >= 0)
        text.unit[micro] = QChar(0x03BC);
    return text;
}
