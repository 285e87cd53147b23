#include "journalsink.h"

JournalSink::JournalSink(const QString &path, const JournalHeader &header, QObject *parent)
    : LogSink(parent), m_writer(path, header)
{
    // The writer's own words speak of the window's memory, which a logger
    // does not have.
    connect(&m_writer, &JournalWriter::failed, this, [this, path] {
        emit message(QStringLiteral("%1 can not be written; readings are lost until it can, and it will name them")
                         .arg(path));
    });
    connect(&m_writer, &JournalWriter::recovered, this, &LogSink::message);
}

void JournalSink::append(const DmmData &record)
{
    m_writer.append(record);
}

void JournalSink::appendComment(const QString &text)
{
    m_writer.appendComment(text);
}

void JournalSink::close()
{
    m_writer.close();
}
