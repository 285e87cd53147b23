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
// The file is created with the first line. A write that fails is reported
// once through failed(); the writer then tries again at most once a second,
// and the first line written after that is preceded by a comment naming the
// readings that are missing, and reported through recovered(). A line cut
// short by a full disk is cut off again, so it is never taken for a whole one.
class JournalWriter : public QObject
{
    Q_OBJECT
public:
    JournalWriter(const QString &path, const JournalHeader &header, QObject *parent = nullptr);
    // Closes the journal as close() does.
    ~JournalWriter() override;

    void append(const DmmData &record);
    // A `#` line between readings, such as a gap in the measurement.
    void appendComment(const QString &text);
    // Ends the journal with its closing line; later appends are ignored. The
    // last fdatasync happens on the sync thread, which then ends.
    void close();

signals:
    void failed(const QString &message);
    void recovered(const QString &message);

private:
    bool writeLine(const QByteArray &line);
    bool isOpen();
    bool open();
    bool writeWhole(const QByteArray &bytes);
    void fail(const QString &reason);
    void shareWithSync(int fd);

    QString m_path;
    JournalHeader header;
    int fd = -1;
    qint64 goodSize = -1; // bytes of whole lines in the file; -1 before it exists
    qint64 count = 0;
    bool closed = false;
    bool failing = false;
    bool syncStarted = false;
    QElapsedTimer lastAttempt;
    qint64 firstMissing = 0; // readings not written while failing
    qint64 lastMissing = 0;
    std::shared_ptr<JournalSync> sync;
};
