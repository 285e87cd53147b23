#include "linelimits.h"

#include "engprefix.h"

#include <cmath>

namespace {

QString numberWithUnit(double x, const QString &unit)
{
    const QString number = QString::fromLatin1(EngPrefix::plainNumber(x));
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

} // namespace

std::optional<LineLimits> LineLimits::parse(const QString &text)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0 || text.indexOf(QLatin1Char(':'), colon + 1) >= 0)
        return std::nullopt;
    LineLimits limits;
    const auto side = [](const QString &part, std::optional<double> *into) {
        const QByteArray trimmed = part.trimmed().toLatin1();
        if (trimmed.isEmpty())
            return true;
        *into = EngPrefix::readPlainNumber(trimmed);
        return into->has_value() && std::isfinite(**into);
    };
    if (!side(text.left(colon), &limits.low) || !side(text.mid(colon + 1), &limits.high) || !limits.isSet())
        return std::nullopt;
    if (limits.low && limits.high && *limits.low > *limits.high)
        return std::nullopt;
    return limits;
}

std::optional<std::pair<int, LineLimits>> LineLimits::parseForLine(const QString &text)
{
    const int equals = text.indexOf(QLatin1Char('='));
    const QString line = text.left(equals).trimmed().toUpper();
    if (equals < 0 || (line != QLatin1String("LINE1") && line != QLatin1String("LINE2")))
        return std::nullopt;
    const std::optional<LineLimits> limits = parse(text.mid(equals + 1));
    if (!limits)
        return std::nullopt;
    return std::make_pair(line.back().digitValue() - 1, *limits);
}

QString LineLimits::text() const
{
    const auto side = [](const std::optional<double> &x) {
        return x ? QString::fromLatin1(EngPrefix::plainNumber(*x)) : QString();
    };
    return side(low) + QLatin1Char(':') + side(high);
}

QString LineLimits::rangeText(const QString &unit) const
{
    if (low && high)
        return numberWithUnit(*low, unit) + QStringLiteral(" to ") + numberWithUnit(*high, unit);
    return numberWithUnit(low ? *low : high.value_or(0), unit);
}
