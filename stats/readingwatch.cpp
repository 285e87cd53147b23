#include "readingwatch.h"

ReadingWatch::Verdict ReadingWatch::check(const DmmData &record)
{
    return {m_limits.check(record), stopReason(record)};
}

QString ReadingWatch::stopReason(const DmmData &record) const
{
    for (const StopCondition &condition : m_stopConditions) {
        if (condition.isMetBy(record))
            return QStringLiteral("%1 met by %2")
                .arg(condition.text(), LineReading::of(record, condition.line).plainText());
    }
    return QString();
}
