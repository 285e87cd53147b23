#pragma once

#include "journalwriter.h"
#include "recordsink.h"

// The recording journal's CSV in a file, written by the journal's own
// writer: each line at once, synced to the disk every second, a write that
// fails tried again and the missing readings named in the file.
class JournalSink : public RecordSink
{
    Q_OBJECT
public:
    // `failureText`, when given, is said instead of the writer's own words
    // when the file cannot be written.
    JournalSink(const QString &path, const JournalHeader &header, const QString &failureText = QString(),
                QObject *parent = nullptr);

    void append(const DmmData &record) override;
    void appendComment(const QString &text) override;
    void appendAlarm(const AlarmEvent &event) override;
    void appendStatistics(const LineStatistics &statistics) override;
    void close() override;
    qint64 notWritten() const override;
    qint64 lastReadingAt() const override;

private:
    JournalWriter m_writer;
};
