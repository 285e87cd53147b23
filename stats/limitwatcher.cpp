#include "limitwatcher.h"

#include "dmmdata.h"
#include "engprefix.h"
#include "journalformat.h"

#include <QJsonValue>

namespace {

enum class Side { Inside, Below, Above, Unknown };

Side sideOf(const LineReading &reading, const LineLimits &limits)
{
    switch (reading.mode) {
    case DmmData::ValueNormal:
        if (limits.low && reading.value < *limits.low)
            return Side::Below;
        if (limits.high && reading.value > *limits.high)
            return Side::Above;
        return Side::Inside;
    case DmmData::ValueOverload:
        return limits.high ? Side::Above : Side::Inside;
    case DmmData::ValueLow:
        return limits.low ? Side::Below : Side::Inside;
    default:
        return Side::Unknown;
    }
}

// The meter's compare limits, while its compare function is on.
std::optional<LineLimits> compareLimits(const DmmData &record)
{
    const LineData *first = record.lines.value(0);
    if (!first || first->compareState.isEmpty() || first->compareState.compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    return LineLimits{first->compareLower, first->compareUpper};
}

QJsonValue optionalNumber(const std::optional<double> &x)
{
    return x ? QJsonValue(*x) : QJsonValue();
}

} // namespace

QString AlarmEvent::detailText() const
{
    const QString value = reading.plainText();
    if (!raised)
        return value;
    const QString unit = EngPrefix::baseUnit(reading.function);
    const QString word = limits.low && limits.high ? QStringLiteral("outside")
                         : limits.high            ? QStringLiteral("above")
                                                  : QStringLiteral("below");
    return QStringLiteral("%1 %2 %3").arg(value, word, limits.rangeText(unit));
}

QString AlarmEvent::journalText() const
{
    const QString when = QString::fromLatin1(JournalFormat::isoTime(time));
    if (!raised)
        return QStringLiteral("Alarm cleared Line%1: %2").arg(line + 1).arg(when);
    return QStringLiteral("Alarm Line%1: %2; %3").arg(line + 1).arg(when, detailText());
}

QJsonObject AlarmEvent::json() const
{
    QJsonObject body{{QStringLiteral("line"), line + 1},
                     {QStringLiteral("time"), QString::fromLatin1(JournalFormat::isoTime(time))},
                     {QStringLiteral("function"), reading.function},
                     {QStringLiteral("value"), reading.isNumber() ? QJsonValue(reading.value) : QJsonValue()}};
    if (!reading.isNumber())
        body.insert(QStringLiteral("status"), reading.plainText());
    if (raised) {
        body.insert(QStringLiteral("low"), optionalNumber(limits.low));
        body.insert(QStringLiteral("high"), optionalNumber(limits.high));
    }
    return {{raised ? QStringLiteral("alarm") : QStringLiteral("alarmCleared"), body}};
}

void LimitWatcher::setLimits(int line, const LineLimits &limits)
{
    m_limits[line] = limits;
}

std::vector<AlarmEvent> LimitWatcher::check(const DmmData &record)
{
    std::vector<AlarmEvent> events;
    const std::optional<LineLimits> compare = compareLimits(record);
    for (int line = 0; line < 2; ++line) {
        const LineReading reading = LineReading::of(record, line);
        if (!reading.present)
            continue;
        Side side = m_limits[line].isSet() ? sideOf(reading, m_limits[line]) : Side::Inside;
        LineLimits crossed = m_limits[line];
        bool meterCompare = false;
        if (side == Side::Inside && line == 0 && compare) {
            side = sideOf(reading, *compare);
            crossed = *compare;
            meterCompare = true;
        }
        if (side == Side::Unknown)
            continue;
        const bool outside = side != Side::Inside;
        if (outside == m_inAlarm[line])
            continue;
        m_inAlarm[line] = outside;
        events.push_back({line, outside, record.time, reading, crossed, meterCompare});
    }
    return events;
}
