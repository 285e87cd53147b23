#include "journalsink.h"

#include "limitwatcher.h"
#include "linestatistics.h"

JournalSink::JournalSink(const QString &path, const JournalHeader &header, const QString &failureText,
                         QObject *parent)
    : RecordSink(parent), m_writer(path, header)
{
    connect(&m_writer, &JournalWriter::failed, this, [this, failureText](const QString &text) {
        emit message(failureText.isEmpty() ? text : failureText);
    });
    connect(&m_writer, &JournalWriter::recovered, this, &RecordSink::message);
    connect(&m_writer, &JournalWriter::fileCreated, this, &RecordSink::fileStarted);
}

void JournalSink::append(const DmmData &record)
{
    m_writer.append(record);
}

void JournalSink::appendComment(const QString &text)
{
    m_writer.appendComment(text);
}

void JournalSink::appendAlarm(const AlarmEvent &event)
{
    m_writer.appendComment(event.journalText());
}

void JournalSink::appendStatistics(const LineStatistics &statistics)
{
    for (const QString &text : statistics.journalTexts())
        m_writer.appendComment(text);
}

void JournalSink::close()
{
    m_writer.close();
}

qint64 JournalSink::notWritten() const
{
    return m_writer.notWritten();
}

qint64 JournalSink::lastReadingAt() const
{
    return m_writer.lastReadingAt();
}
