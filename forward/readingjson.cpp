#include "readingjson.h"

#include "dmmdata.h"
#include "journalformat.h"
#include "varnok.h"

#include <QJsonDocument>

namespace ReadingJson {

namespace {

// A sentinel is no number: null, with the state beside it.
QJsonValue numberOrNull(double value, DmmData::ValueMode mode)
{
    return mode == DmmData::ValueNormal ? QJsonValue(value) : QJsonValue();
}

QJsonObject lineObject(const ChannelData *channel, int line)
{
    if (!channel)
        return {};
    const auto mode = DmmData::ValueMode(channel->valueModes.value(line));
    return {
        {QStringLiteral("function"), channel->functions.value(line)},
        {QStringLiteral("ch"), channel->number},
        {QStringLiteral("value"), numberOrNull(channel->values.value(line), mode)},
        {QStringLiteral("status"), Varnok::getValueStr(mode)},
        {QStringLiteral("text"), channel->valueTexts.value(line).trimmed()},
        {QStringLiteral("unit"), channel->unitTexts.value(line)},
    };
}

QJsonObject channelObject(const ChannelData &channel)
{
    return {
        {QStringLiteral("freq"), numberOrNull(channel.frequency, Varnok::getValueMode(channel.frequency))},
        {QStringLiteral("freqText"), channel.frequencyText},
        {QStringLiteral("freqUnit"), channel.frequencyUnit},
        {QStringLiteral("float"), channel.floating},
    };
}

} // namespace

QJsonObject object(qint64 number, const DmmData &record)
{
    QJsonObject object{{QStringLiteral("no"), number},
                       {QStringLiteral("time"), QString::fromLatin1(JournalFormat::isoTime(record.time))}};
    for (int index = 0; index < 2; ++index)
        object.insert(QStringLiteral("line%1").arg(index + 1), lineObject(record.lines.at(index)->channel, index));
    for (int index = 0; index < 2; ++index)
        object.insert(QStringLiteral("ch%1").arg(index + 1), channelObject(*record.channels.at(index)));
    return object;
}

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace ReadingJson
