#pragma once

#include "journalwriter.h"
#include "logsink.h"

// The recording journal's CSV in a file, written by the journal's own
// writer: each line at once, synced to the disk every second, a write that
// fails tried again and the missing readings named in the file.
class JournalSink : public LogSink
{
    Q_OBJECT
public:
    JournalSink(const QString &path, const JournalHeader &header, QObject *parent = nullptr);

    void append(const DmmData &record) override;
    void appendComment(const QString &text) override;
    void close() override;

private:
    JournalWriter m_writer;
};
