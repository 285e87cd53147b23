#include "streamsink.h"

#include "dmmdata.h"
#include "journalformat.h"
#include "varnok.h"

#include <QJsonDocument>
#include <QJsonObject>

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

QByteArray jsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QString isoTime(const QDateTime &time)
{
    return QString::fromLatin1(JournalFormat::isoTime(time));
}

// The same fields as the journal's columns, by name.
QByteArray jsonReading(qint64 number, const DmmData &record)
{
    QJsonObject object{{QStringLiteral("no"), number}, {QStringLiteral("time"), isoTime(record.time)}};
    for (int index = 0; index < 2; ++index)
        object.insert(QStringLiteral("line%1").arg(index + 1), lineObject(record.lines.at(index)->channel, index));
    for (int index = 0; index < 2; ++index)
        object.insert(QStringLiteral("ch%1").arg(index + 1), channelObject(*record.channels.at(index)));
    return jsonLine(object);
}

} // namespace

StreamSink::StreamSink(QFile *file, Format format, const JournalHeader &header, QObject *parent)
    : LogSink(parent), m_file(file), m_format(format)
{
    m_file->setParent(this);
    if (m_format == Format::Csv)
        m_opening = JournalFormat::headerText(header);
}

StreamSink::~StreamSink()
{
    close();
}

void StreamSink::append(const DmmData &record)
{
    ++m_readings;
    write(m_format == Format::Csv ? JournalFormat::recordLine(m_readings, record) : jsonReading(m_readings, record));
}

void StreamSink::appendComment(const QString &text)
{
    write(m_format == Format::Csv ? JournalFormat::commentLine(text) : jsonLine({{QStringLiteral("note"), text}}));
}

void StreamSink::close()
{
    if (m_closed)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    // A log that never got a line stays empty, as a journal file is never made.
    if (m_started)
        write(m_format == Format::Csv ? JournalFormat::closingLine(now, m_readings)
                                      : jsonLine({{QStringLiteral("closed"), isoTime(now)},
                                                  {QStringLiteral("readings"), m_readings}}));
    m_closed = true;
}

void StreamSink::write(const QByteArray &line)
{
    if (m_closed)
        return;
    const QByteArray text = m_started ? line : m_opening + line;
    if (m_file->write(text) != text.size()) {
        m_closed = true;
        const QString name = m_file->fileName().isEmpty() ? QStringLiteral("standard output") : m_file->fileName();
        emit broken(QStringLiteral("cannot write to %1: %2").arg(name, m_file->errorString()));
        return;
    }
    m_started = true;
}
