#include "streamsink.h"

#include "dmmdata.h"
#include "journalformat.h"
#include "limitwatcher.h"
#include "linestatistics.h"
#include "lineprotocol.h"
#include "readingjson.h"

#include <cerrno>
#include <cstring>

StreamSink::StreamSink(QFile *file, Format format, const JournalHeader &header, QObject *parent)
    : RecordSink(parent), m_file(file), m_format(format), m_meter(meterName(header.resource))
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
    bool written = false;
    switch (m_format) {
    case Format::Csv:
        written = write(JournalFormat::recordLine(m_readings, record));
        break;
    case Format::JsonLines:
        written = write(ReadingJson::line(ReadingJson::object(m_readings, record)));
        break;
    case Format::InfluxLines:
        written = write(LineProtocol::point(m_meter, m_readings, record));
        break;
    }
    if (!written)
        ++m_lost;
}

void StreamSink::appendComment(const QString &text)
{
    // Line protocol has no comments.
    if (m_format == Format::Csv)
        write(JournalFormat::commentLine(text));
    else if (m_format == Format::JsonLines)
        write(ReadingJson::line({{QStringLiteral("note"), text}}));
}

void StreamSink::appendAlarm(const AlarmEvent &event)
{
    if (m_format == Format::Csv)
        write(JournalFormat::commentLine(event.journalText()));
    else if (m_format == Format::JsonLines)
        write(ReadingJson::line(event.json()));
}

void StreamSink::appendStatistics(const LineStatistics &statistics)
{
    // Only a log that has begun ends with them.
    if (!m_started)
        return;
    if (m_format == Format::Csv) {
        for (const QString &text : statistics.journalTexts())
            write(JournalFormat::commentLine(text));
    } else if (m_format == Format::JsonLines) {
        write(ReadingJson::line({{QStringLiteral("statistics"), statistics.json()}}));
    }
}

void StreamSink::close()
{
    if (m_closed)
        return;
    const QDateTime now = QDateTime::currentDateTime();
    // A log that never got a line stays empty, as a journal file is never made.
    if (m_started && m_format == Format::Csv)
        write(JournalFormat::closingLine(now, m_readings));
    else if (m_started && m_format == Format::JsonLines)
        write(ReadingJson::line({{QStringLiteral("closed"), QString::fromLatin1(JournalFormat::isoTime(now))},
                                 {QStringLiteral("readings"), m_readings}}));
    m_closed = true;
}

qint64 StreamSink::notWritten() const
{
    return m_lost;
}

bool StreamSink::write(const QByteArray &line)
{
    if (m_closed)
        return false;
    const QByteArray text = m_started ? line : m_opening + line;
    errno = 0;
    const qint64 written = m_file->write(text);
    if (written != text.size()) {
        // QFile names no reason for a write cut short (a full disk): the
        // system's words for it, and the part of a line cut off again, so
        // that no reader takes it for a whole one.
        const int error = errno;
        const QString reason = written < 0 ? m_file->errorString()
                                           : QString::fromLocal8Bit(std::strerror(error ? error : ENOSPC));
        if (written > 0 && !m_file->fileName().isEmpty())
            m_file->resize(m_whole);
        m_closed = true;
        const QString name = m_file->fileName().isEmpty() ? QStringLiteral("standard output") : m_file->fileName();
        emit broken(QStringLiteral("cannot write to %1: %2").arg(name, reason));
        return false;
    }
    m_whole += written;
    m_started = true;
    return true;
}
