#include "journalwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Shared by the writer and its sync thread, which may outlive the writer by
// its last fdatasync. The thread syncs and closes duplicates of the writer's
// descriptors, so the writer never waits for it.
struct JournalSync
{
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    int fd = -1;              // the thread's duplicate of the open journal
    std::vector<int> retired; // duplicates to sync once more and close
    std::atomic<bool> dirty{false};
    std::atomic<int> error{0};
    std::atomic<bool> removed{false};
};

namespace {

constexpr std::chrono::seconds SyncPeriod(1);
constexpr qint64 RetryMs = 1000;

void syncLoop(std::shared_ptr<JournalSync> sync)
{
    std::unique_lock<std::mutex> lock(sync->mutex);
    for (;;) {
        sync->wake.wait_for(lock, SyncPeriod, [&] { return sync->stop || !sync->retired.empty(); });
        const bool stop = sync->stop;
        const int fd = sync->fd;
        std::vector<int> retired;
        retired.swap(sync->retired);
        lock.unlock();
        for (const int old : retired) {
            ::fdatasync(old);
            ::close(old);
        }
        if (fd >= 0 && (sync->dirty.exchange(false) || stop)) {
            if (::fdatasync(fd) != 0)
                sync->error = errno;
            struct stat st;
            if (::fstat(fd, &st) == 0 && st.st_nlink == 0)
                sync->removed = true;
        }
        if (stop) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        lock.lock();
    }
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// `path` itself for 1, else with "-n" before its suffix.
QString numberedPath(const QString &path, int n)
{
    if (n == 1)
        return path;
    const QFileInfo file(path);
    const QString suffix = file.suffix().isEmpty() ? QString() : QLatin1Char('.') + file.suffix();
    return QStringLiteral("%1-%2%3").arg(path.left(path.size() - suffix.size())).arg(n).arg(suffix);
}

// Names tried before creating gives up: more journals of one item started in
// one second than anyone makes.
constexpr int MaxNames = 1000;

bool isEmptyFile(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

bool isUnlinked(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && st.st_nlink == 0;
}

} // namespace

JournalWriter::JournalWriter(const QString &path, const JournalHeader &header, QObject *parent)
    : QObject(parent), requestedPath(path), m_path(path), header(header), sync(std::make_shared<JournalSync>())
{
}

JournalWriter::~JournalWriter()
{
    close();
}

QString JournalWriter::path() const
{
    return m_path;
}

void JournalWriter::append(const DmmData &record)
{
    if (closed)
        return;
    const qint64 number = count + 1;
    // A new file started for this reading names the readings before it.
    const QByteArray line = JournalFormat::recordLine(number, record);
    const bool written = isWritable() && writeLine(line);
    count = number;
    lastLineAt = written ? goodSize - line.size() : -1;
    if (written) {
        ++inFile;
    } else {
        if (!firstMissing)
            firstMissing = number;
        lastMissing = number;
    }
}

qint64 JournalWriter::notWritten() const
{
    return count - inFile;
}

qint64 JournalWriter::lastReadingAt() const
{
    return lastLineAt;
}

void JournalWriter::appendComment(const QString &text)
{
    if (!closed && isWritable())
        writeLine(JournalFormat::commentLine(text));
}

void JournalWriter::close()
{
    if (closed)
        return;
    closed = true;
    // The closing line is worth one more try, even right after a failure.
    lastAttempt.invalidate();
    // A journal that never got a reading was never created.
    if (goodSize >= 0 && isWritable())
        writeLine(JournalFormat::closingLine(QDateTime::currentDateTime(), inFile));
    if (fd >= 0)
        ::flock(fd, LOCK_UN); // now, not when the sync thread lets go of its duplicate
    dropFile();
    {
        const std::lock_guard<std::mutex> lock(sync->mutex);
        sync->stop = true;
    }
    sync->wake.notify_one();
}

bool JournalWriter::isWritable()
{
    if (const int error = sync->error.exchange(0))
        fail(errorText(error));
    // The sync thread's word may be about a file already replaced: asked again.
    if (sync->removed.exchange(false) && fd >= 0 && isUnlinked(fd)) {
        dropFile();
        fail(tr("the file was removed"));
    }
    if (fd >= 0 && !failing)
        return true;
    // A failing disk is not asked again for every reading.
    if (lastAttempt.isValid() && lastAttempt.elapsed() < RetryMs)
        return false;
    lastAttempt.start();
    return fd >= 0 ? repair() : create();
}

bool JournalWriter::writeLine(const QByteArray &line)
{
    if (firstMissing) {
        const QString gap = fileLost ? tr("Not written: readings %1 to %2 (the journal's file was removed)")
                                     : tr("Not written: readings %1 to %2 (the journal could not be written)");
        if (!writeWhole(JournalFormat::commentLine(gap.arg(firstMissing).arg(lastMissing))))
            return false;
        // Named now: a line that fails next starts a range of its own.
        reportedFirst = reportedFirst ? reportedFirst : firstMissing;
        reportedLast = lastMissing;
        firstMissing = lastMissing = 0;
        fileLost = false;
    }
    if (!writeWhole(line))
        return false;
    if (failing) {
        failing = false;
        emit recovered(reportedFirst ? tr("The journal %1 is written again; readings %2 to %3 are missing from it.")
                                           .arg(m_path)
                                           .arg(reportedFirst)
                                           .arg(reportedLast)
                                     : tr("The journal %1 is written again.").arg(m_path));
        reportedFirst = reportedLast = 0;
    }
    return true;
}

// A new file, locked before anything is in it. A name taken is left to
// whoever has it, unless the file is empty and its lock granted (the logger
// makes its output file before the first reading). A file of this recording
// that was lost leaves every reading so far missing from the new one.
bool JournalWriter::create()
{
    QDir().mkpath(QFileInfo(requestedPath).absolutePath());
    int created = -1;
    QString name;
    for (int n = 1; created < 0; ++n) {
        name = numberedPath(requestedPath, n);
        const QByteArray file = QFile::encodeName(name);
        created = ::open(file.constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const int error = errno;
        if (created < 0 && error == EEXIST)
            created = ::open(file.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
        else if (created < 0) {
            fail(errorText(error));
            return false;
        }
        // A lock refused means the file is in use: it is left to whoever holds it.
        if (created >= 0 && (::flock(created, LOCK_EX | LOCK_NB) != 0 || !isEmptyFile(created))) {
            ::close(created);
            created = -1;
        }
        if (created < 0 && n == MaxNames) {
            fail(errorText(EEXIST));
            return false;
        }
    }
    if (goodSize >= 0 && count > 0) {
        firstMissing = 1;
        lastMissing = count;
        fileLost = true;
    }
    fd = created;
    m_path = name;
    goodSize = 0;
    inFile = 0;
    shareWithSync(fd);
    const bool written = writeWhole(JournalFormat::headerText(header));
    emit fileCreated(m_path);
    return written;
}

// The file is still this writer's after a failed write: what a torn write
// left of a line is cut off before the next one, or it would be glued to it.
bool JournalWriter::repair()
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        fail(errorText(errno));
        return false;
    }
    if (st.st_nlink == 0) {
        dropFile();
        return create();
    }
    if (st.st_size > goodSize && ::ftruncate(fd, goodSize) != 0) {
        fail(errorText(errno));
        return false;
    }
    goodSize = qMin<qint64>(goodSize, st.st_size);
    // A disk full from the start refused the header itself: it goes first,
    // or the file would hold readings that no reader can place.
    return goodSize > 0 || writeWhole(JournalFormat::headerText(header));
}

bool JournalWriter::writeWhole(const QByteArray &bytes)
{
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    if (written == bytes.size()) {
        goodSize += written;
        sync->dirty = true;
        return true;
    }
    const int error = written < 0 ? errno : ENOSPC;
    // Part of the line reached the file: cut it off, or the next line would
    // be glued to it. When even that fails it is cut before the next try.
    if (written > 0)
        ::ftruncate(fd, goodSize);
    fail(errorText(error));
    return false;
}

// Reported once until a line is written again. The file stays open, and so
// its lock stays held.
void JournalWriter::fail(const QString &reason)
{
    if (!failing) {
        failing = true;
        emit failed(tr("The journal %1 can not be written (%2); the readings are kept in memory only.")
                        .arg(m_path, reason));
    }
}

void JournalWriter::dropFile()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    shareWithSync(-1);
}

void JournalWriter::shareWithSync(int descriptor)
{
    const int duplicate = descriptor >= 0 ? ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0) : -1;
    {
        const std::lock_guard<std::mutex> lock(sync->mutex);
        if (sync->fd >= 0)
            sync->retired.push_back(sync->fd);
        sync->fd = duplicate;
    }
    if (!syncStarted && duplicate >= 0) {
        syncStarted = true;
        std::thread(syncLoop, sync).detach();
    }
    sync->wake.notify_one();
}
