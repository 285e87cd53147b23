#pragma once

#include <QObject>
#include <QString>

class DmmData;
class LineStatistics;
struct AlarmEvent;

// Where one recording's readings are written: a journal file, or a stream in
// the format a front end asks for. A session makes one when a recording keeps
// its first reading and closes it when the recording ends.
class RecordSink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void append(const DmmData &record) = 0;
    // A note between readings, such as a gap in the link.
    virtual void appendComment(const QString &text) = 0;
    // A display line's alarm raised or cleared.
    virtual void appendAlarm(const AlarmEvent &event) = 0;
    // What the readings appended say, just before close().
    virtual void appendStatistics(const LineStatistics &statistics) = 0;
    // Ends the output as it should end; later appends are ignored.
    virtual void close() = 0;
    // Readings appended that did not reach the output.
    virtual qint64 notWritten() const = 0;
    // Where the last reading appended begins in the output file; -1 when it
    // is not there, or the output is no file a reader seeks in.
    virtual qint64 lastReadingAt() const
    {
        return -1;
    }

signals:
    // For the user; writing goes on.
    void message(const QString &text);
    // The output is gone for good; nothing more can be written to it.
    void broken(const QString &text);
    // The readings go to the file `path` from here on (a file output only):
    // the first, or a new one after the one before was removed.
    void fileStarted(const QString &path);
};
