#include "lineprotocol.h"

#include "dmmdata.h"
#include "engprefix.h"
#include "varnok.h"

#include <cmath>

namespace LineProtocol {

namespace {

QByteArray tagValue(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        if (c == ',' || c == '=' || c == ' ' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

QByteArray stringField(const QString &text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

void addField(QByteArray *fields, const char *key, const QByteArray &value)
{
    if (!fields->isEmpty())
        *fields += ',';
    *fields += key;
    *fields += '=';
    *fields += value;
}

void addLine(QByteArray *fields, const DmmData &record, int line)
{
    const ChannelData *channel = record.lines.at(line)->channel;
    if (!channel)
        return;
    static const char *const keys[2][3] = {{"line1", "line1_function", "line1_unit"},
                                           {"line2", "line2_function", "line2_unit"}};
    if (channel->valueModes.value(line) == DmmData::ValueNormal)
        addField(fields, keys[line][0], EngPrefix::plainNumber(channel->values.value(line)));
    addField(fields, keys[line][1], stringField(channel->functions.value(line)));
    addField(fields, keys[line][2], stringField(siUnit(channel->unitTexts.value(line))));
}

} // namespace

QByteArray point(const QString &meter, qint64 seq, const DmmData &record)
{
    if (record.isStore || !record.time.isValid())
        return QByteArray();
    QByteArray fields;
    fields.reserve(256);
    addLine(&fields, record, 0);
    addLine(&fields, record, 1);
    static const char *const frequencyKeys[2] = {"ch1_freq", "ch2_freq"};
    for (int index = 0; index < 2; ++index) {
        const double frequency = record.channels.at(index)->frequency;
        if (Varnok::getValueMode(frequency) == DmmData::ValueNormal && std::isfinite(frequency))
            addField(&fields, frequencyKeys[index], EngPrefix::plainNumber(frequency));
    }
    addField(&fields, "seq", QByteArray::number(seq) + 'i');
    return "dmmpanel,meter=" + tagValue(meter) + ' ' + fields + ' '
           + QByteArray::number(record.time.toMSecsSinceEpoch()) + '\n';
}

QString siUnit(const QString &displayUnit)
{
    if (displayUnit.size() < 2 || displayUnit.startsWith(QLatin1String("dB")))
        return displayUnit;
    const QString prefix = displayUnit.left(1);
    const bool prefixed = prefix == QStringLiteral("µ") || (prefix != QLatin1String(" ") && EngPrefix::factorOf(prefix));
    return prefixed ? displayUnit.mid(1) : displayUnit;
}

} // namespace LineProtocol

QString meterName(const QString &resource)
{
    const QStringList parts = resource.split(QStringLiteral("::"));
    QString name = parts.size() == 5 && !parts.at(3).isEmpty() ? parts.at(3) : resource;
    for (const QChar reserved : {QLatin1Char('/'), QLatin1Char('+'), QLatin1Char('#')})
        name.replace(reserved, QLatin1Char('_'));
    return name.isEmpty() ? QStringLiteral("meter") : name;
}
