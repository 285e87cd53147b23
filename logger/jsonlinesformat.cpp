#include "jsonlinesformat.h"

#include "dmmdata.h"
#include "varnok.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A sentinel is no number: null, with the state beside it.
QJsonValue numberOrNull(double value)
{
    return Varnok::getValueMode(value) == DmmData::ValueNormal ? QJsonValue(value) : QJsonValue();
}

QJsonObject lineObject(const ChannelData *channel, int line)
{
    if (!channel)
        return {};
    const auto mode = DmmData::ValueMode(channel->valueModes.value(line));
    return {
        {QStringLiteral("function"), channel->functions.value(line)},
        {QStringLiteral("ch"), channel->number},
        {QStringLiteral("value"), mode == DmmData::ValueNormal ? QJsonValue(channel->values.value(line)) : QJsonValue()},
        {QStringLiteral("status"), Varnok::getValueStr(mode)},
        {QStringLiteral("text"), channel->valueTexts.value(line).trimmed()},
        {QStringLiteral("unit"), channel->unitTexts.value(line)},
    };
}

QJsonObject channelObject(const ChannelData &channel)
{
    return {
        {QStringLiteral("freq"), numberOrNull(channel.frequency)},
        {QStringLiteral("freqText"), channel.frequencyText},
        {QStringLiteral("freqUnit"), channel.frequencyUnit},
        {QStringLiteral("float"), channel.floating},
    };
}

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QString isoTime(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace

QByteArray JsonLinesFormat::opening() const
{
    return QByteArray();
}

QByteArray JsonLinesFormat::reading(qint64 number, const DmmData &record) const
{
    QJsonObject object{{QStringLiteral("no"), number}, {QStringLiteral("time"), isoTime(record.time)}};
    for (int index = 0; index < 2; ++index)
        object.insert(QStringLiteral("line%1").arg(index + 1), lineObject(record.lines.at(index)->channel, index));
    for (int index = 0; index < 2; ++index)
        object.insert(QStringLiteral("ch%1").arg(index + 1), channelObject(*record.channels.at(index)));
    return line(object);
}

QByteArray JsonLinesFormat::note(const QString &text) const
{
    return line({{QStringLiteral("note"), text}});
}

QByteArray JsonLinesFormat::closing(const QDateTime &when, qint64 readings) const
{
    return line({{QStringLiteral("closed"), isoTime(when)}, {QStringLiteral("readings"), readings}});
}
