#pragma once

#include "journalformat.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class DmmData;
struct JournalSync;

// Appends readings to one journal file as they are kept: one write() per
// line, straight through to the kernel, and an fdatasync at most once a
// second on a thread of its own, so the caller never waits for the disk.
// The file is created with the first line, exclusively: when its name is
// taken (by anything but an empty file), or its lock refused, the next free
// name (`-2`, `-3`, ...) is used. The writer holds the file's lock (flock) as long as it has the file,
// failures included, so no other program takes it for a crashed one.
// A write that fails is reported once through failed(); the writer then
// tries again at most once a second, and the first line written after that
// is preceded by a comment naming the readings that are missing, and
// reported through recovered(). A line cut short by a full disk is cut off
// again, so it is never taken for a whole one. A file removed meanwhile is
// replaced by a new one that names every reading it does not hold.
class JournalWriter : public QObject
{
    Q_OBJECT
public:
    JournalWriter(const QString &path, const JournalHeader &header, QObject *parent = nullptr);
    // Closes the journal as close() does.
    ~JournalWriter() override;

    // The file written to: the path asked for, or the free name taken instead.
    QString path() const;

    void append(const DmmData &record);
    // A `#` line between readings, such as a gap in the measurement.
    void appendComment(const QString &text);
    // Ends the journal with its closing line; later appends are ignored. The
    // last fdatasync happens on the sync thread, which then ends.
    void close();
    // Readings appended that the file does not hold: not written, or gone
    // with a removed file.
    qint64 notWritten() const;
    // Where the line of the last reading appended begins in the file; -1
    // when that reading was not written.
    qint64 lastReadingAt() const;

signals:
    void failed(const QString &message);
    void recovered(const QString &message);
    // The readings go to a new file from here on: the first, or one made
    // after the file before was removed. `path` holds its header already.
    void fileCreated(const QString &path);

private:
    bool isWritable();
    bool writeLine(const QByteArray &line);
    bool create();
    bool repair();
    bool writeWhole(const QByteArray &bytes);
    void fail(const QString &reason);
    void dropFile();
    void shareWithSync(int fd);

    QString requestedPath;
    QString m_path;
    JournalHeader header;
    int fd = -1;          // the open file, locked; -1 before it exists and after it was lost
    qint64 goodSize = -1; // bytes of whole lines in the file; -1 before a file was ever created
    qint64 count = 0;     // readings appended
    qint64 inFile = 0;    // readings in the present file
    qint64 lastLineAt = -1;
    bool closed = false;
    bool failing = false;
    bool syncStarted = false;
    bool fileLost = false; // the missing readings went with a removed file
    QElapsedTimer lastAttempt;
    qint64 firstMissing = 0; // readings the present file does not hold
    qint64 lastMissing = 0;
    qint64 reportedFirst = 0; // readings named missing since the writer began failing
    qint64 reportedLast = 0;
    std::shared_ptr<JournalSync> sync;
};
