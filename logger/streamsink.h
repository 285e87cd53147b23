#pragma once

#include "logoptions.h"
#include "recordsink.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>

struct JournalHeader;

// A log written line by line to standard output or to a new file: the
// journal's CSV, JSON lines or InfluxDB's line protocol. Each line goes to the system as soon as it is
// written, so that `tail -f` sees it and a crash loses nothing written.
class StreamSink : public RecordSink
{
    Q_OBJECT
public:
    using Format = LogOptions::Format;

    // `file` is open for writing; the sink takes it over.
    StreamSink(QFile *file, Format format, const JournalHeader &header, QObject *parent = nullptr);
    ~StreamSink() override;

    void append(const DmmData &record) override;
    void appendComment(const QString &text) override;
    void appendAlarm(const AlarmEvent &event) override;
    void appendStatistics(const LineStatistics &statistics) override;
    void close() override;
    qint64 notWritten() const override;

private:
    bool write(const QByteArray &line);

    QFile *m_file; // child
    Format m_format;
    QString m_meter; // as line protocol names it
    QByteArray m_opening; // written with the first line
    bool m_started = false;
    qint64 m_whole = 0; // bytes of whole lines written
    qint64 m_readings = 0;
    qint64 m_lost = 0;
    bool m_closed = false;
};
