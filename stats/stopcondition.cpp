#include "stopcondition.h"

#include "engprefix.h"
#include "linereading.h"

#include <QRegularExpression>

#include <cmath>

std::optional<StopCondition> StopCondition::parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*LINE([12])\\s*([<>])\\s*(\\S+)\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<double> threshold = EngPrefix::readPlainNumber(match.captured(3).toLatin1());
    if (!threshold || !std::isfinite(*threshold))
        return std::nullopt;
    return StopCondition{match.captured(1).toInt() - 1, match.captured(2) == QLatin1String("<"), *threshold};
}

QString StopCondition::text() const
{
    return QStringLiteral("LINE%1%2%3")
        .arg(line + 1)
        .arg(below ? QLatin1Char('<') : QLatin1Char('>'))
        .arg(QString::fromLatin1(EngPrefix::plainNumber(threshold)));
}

bool StopCondition::isMetBy(const DmmData &record) const
{
    const LineReading reading = LineReading::of(record, line);
    if (!reading.present)
        return false;
    switch (reading.mode) {
    case DmmData::ValueNormal:
        return below ? reading.value < threshold : reading.value > threshold;
    case DmmData::ValueOverload:
        return !below;
    case DmmData::ValueLow:
        return below;
    default:
        return false;
    }
}
