#include "settingrequest.h"

#include "dmmdata.h"
#include "varnok.h"

#include <QRegularExpression>

namespace {

// "LINE1" or "CH2" and the rest after "=".
std::optional<std::pair<int, QString>> numberedAssignment(const QString &prefix, const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([A-Z]+)([12])=(\\S+)$"));
    const QRegularExpressionMatch match = form.match(text.trimmed().toUpper());
    if (!match.hasMatch() || match.captured(1) != prefix)
        return std::nullopt;
    return std::make_pair(match.captured(2).toInt(), match.captured(3));
}

bool isWord(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("^[A-Z0-9.]+$"));
    return word.match(text).hasMatch();
}

} // namespace

SettingRequest::SettingRequest(Kind kind, const QString &given) : m_kind(kind), m_given(given) {}

std::optional<SettingRequest> SettingRequest::function(const QString &text)
{
    const auto assignment = numberedAssignment(QStringLiteral("LINE"), text);
    if (!assignment)
        return std::nullopt;
    const QStringList parts = assignment->second.split(QLatin1Char(','));
    if (parts.size() > 2 || !parts.first().startsWith(QLatin1String("CH")))
        return std::nullopt;
    const int channel = parts.first().mid(2).toInt();
    if ((channel != 1 && channel != 2) || parts.first().size() != 3 || (parts.size() == 2 && !isWord(parts.at(1))))
        return std::nullopt;
    SettingRequest request(Kind::Function, QStringLiteral("--function ") + text);
    request.m_target = assignment->first;
    request.m_channel = channel;
    request.m_value = parts.value(1);
    return request;
}

std::optional<SettingRequest> SettingRequest::range(const QString &text)
{
    const auto assignment = numberedAssignment(QStringLiteral("CH"), text);
    if (!assignment || !isWord(assignment->second))
        return std::nullopt;
    SettingRequest request(Kind::Range, QStringLiteral("--range ") + text);
    request.m_target = assignment->first;
    // As typed, but for AUTO: the meter tells 37mV from 37MV.
    const QString typed = text.mid(text.indexOf(QLatin1Char('=')) + 1).trimmed();
    request.m_value = assignment->second == QLatin1String("AUTO") ? assignment->second : typed;
    return request;
}

std::optional<SettingRequest> SettingRequest::rate(const QString &text)
{
    if (!isWord(text.trimmed().toUpper()))
        return std::nullopt;
    SettingRequest request(Kind::Rate, QStringLiteral("--rate ") + text);
    request.m_value = text.trimmed().toUpper();
    return request;
}

void SettingRequest::send(Varnok &driver) const
{
    switch (m_kind) {
    case Kind::Function:
        driver.cmdChangeFunction(m_target, m_channel, m_value);
        driver.cmdGetFunction(m_target);
        break;
    case Kind::Range:
        driver.cmdChangeRange(m_target, m_value);
        driver.cmdGetRange(m_target);
        break;
    case Kind::Rate:
        driver.cmdChangeRate(m_value);
        driver.cmdGetRate();
        break;
    }
}

QString SettingRequest::refusal(const DmmData &state) const
{
    switch (m_kind) {
    case Kind::Function: {
        const ChannelData *shown = state.lines.at(m_target - 1)->channel;
        const QString function = shown ? shown->functions.value(m_target - 1) : QString();
        const bool sameFunction = m_value.isEmpty() || function.compare(m_value, Qt::CaseInsensitive) == 0;
        if (shown && shown->number == m_channel && sameFunction)
            return QString();
        const QString showing = shown ? QStringLiteral("CH%1,%2").arg(shown->number).arg(function)
                                      : QStringLiteral("no channel");
        return QStringLiteral("LINE%1 shows %2").arg(m_target).arg(showing);
    }
    case Kind::Range: {
        // The answer names a manual range otherwise than the command (3.7V
        // selects the range shown as 3.8V): only whether it is manual is checked.
        const ChannelData *channel = state.channels.at(m_target - 1);
        const bool automatic = m_value.compare(QLatin1String("AUTO"), Qt::CaseInsensitive) == 0;
        if (channel->rangeMode == (automatic ? QLatin1String("AUTO") : QLatin1String("MANU")))
            return QString();
        return QStringLiteral("CH%1 range is %2,%3%4")
            .arg(m_target)
            .arg(channel->rangeMode, channel->rangeValue, channel->rangeUnit);
    }
    case Kind::Rate:
        if (state.rate.compare(m_value, Qt::CaseInsensitive) == 0)
            return QString();
        return QStringLiteral("the rate is %1").arg(state.rate);
    }
    return QString();
}

QString SettingRequest::optionText() const
{
    return m_given;
}
