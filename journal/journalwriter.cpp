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

} // namespace

JournalWriter::JournalWriter(const QString &path, const JournalHeader &header, QObject *parent)
    : QObject(parent), m_path(path), header(header), sync(std::make_shared<JournalSync>())
{
}

JournalWriter::~JournalWriter()
{
    close();
}

void JournalWriter::append(const DmmData &record)
{
    if (closed)
        return;
    ++count;
    if (!writeLine(JournalFormat::recordLine(count, record))) {
        if (!firstMissing)
            firstMissing = count;
        lastMissing = count;
    }
}

void JournalWriter::appendComment(const QString &text)
{
    if (!closed)
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
    if (goodSize >= 0)
        writeLine(JournalFormat::closingLine(QDateTime::currentDateTime(), count));
    if (fd >= 0) {
        // Released now, not when the sync thread lets go of its duplicate.
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }
    fd = -1;
    {
        const std::lock_guard<std::mutex> lock(sync->mutex);
        sync->stop = true;
    }
    sync->wake.notify_one();
}

bool JournalWriter::writeLine(const QByteArray &line)
{
    if (!isOpen())
        return false;
    if (firstMissing) {
        const QByteArray gap = JournalFormat::commentLine(
            tr("Not written: readings %1 to %2 (the journal could not be written)").arg(firstMissing).arg(lastMissing));
        if (!writeWhole(gap))
            return false;
    }
    if (!writeWhole(line))
        return false;
    if (failing) {
        failing = false;
        emit recovered(firstMissing ? tr("The journal %1 is written again; readings %2 to %3 are missing from it.")
                                          .arg(m_path)
                                          .arg(firstMissing)
                                          .arg(lastMissing)
                                    : tr("The journal %1 is written again.").arg(m_path));
    }
    firstMissing = lastMissing = 0;
    return true;
}

bool JournalWriter::isOpen()
{
    if (const int error = sync->error.exchange(0))
        fail(errorText(error));
    if (sync->removed.exchange(false))
        fail(tr("the file was removed"));
    if (fd >= 0)
        return true;
    // A failing disk is not asked again for every reading.
    if (lastAttempt.isValid() && lastAttempt.elapsed() < RetryMs)
        return false;
    lastAttempt.start();
    return open();
}

bool JournalWriter::open()
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail(errorText(errno));
        return false;
    }
    // Held while the journal is open, so another instance does not take it
    // for the journal of a crashed one.
    ::flock(fd, LOCK_EX | LOCK_NB);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        fail(errorText(errno));
        return false;
    }
    const qint64 size = st.st_size;
    if (goodSize >= 0 && size > goodSize && ::ftruncate(fd, goodSize) != 0) {
        // The end of a line cut short is still there and cannot go.
        fail(errorText(errno));
        return false;
    }
    goodSize = qMin<qint64>(size, goodSize >= 0 ? goodSize : size);
    shareWithSync(fd);
    if (size == 0) {
        goodSize = 0;
        if (!writeWhole(JournalFormat::headerText(header)))
            return false;
    }
    return true;
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
    // be glued to it. When even that fails the file is reopened later and cut then.
    if (written > 0)
        ::ftruncate(fd, goodSize);
    fail(errorText(error));
    return false;
}

void JournalWriter::fail(const QString &reason)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    shareWithSync(-1);
    if (!failing) {
        failing = true;
        emit failed(tr("The journal %1 can not be written (%2); the readings are kept in memory only.")
                        .arg(m_path, reason));
    }
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
