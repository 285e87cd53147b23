#include "journalrecovery.h"

#include "journalformat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <sys/file.h>
#include <unistd.h>

namespace JournalRecovery {

namespace {

// A header's lines are far shorter; a file without its header row this far
// in is no journal.
constexpr qint64 HeaderLimit = 64 * 1024;
// Read from the end when looking for the last line feed.
constexpr qint64 TailBlock = 64 * 1024;

bool beginsWithHeader(QFile &file)
{
    file.seek(0);
    for (bool first = true; file.pos() < HeaderLimit; first = false) {
        QByteArray line = file.readLine(HeaderLimit);
        if (!line.endsWith('\n'))
            return false;
        line.chop(1);
        if (first && !JournalFormat::isHeaderStart(line))
            return false;
        if (!line.startsWith('#'))
            return JournalFormat::isHeaderRow(line);
    }
    return false;
}

// The offset just past the last line feed; 0 when there is none.
qint64 endOfLastLine(QFile &file)
{
    for (qint64 end = file.size(); end > 0;) {
        const qint64 from = qMax<qint64>(0, end - TailBlock);
        file.seek(from);
        const QByteArray block = file.read(end - from);
        if (block.size() != end - from)
            return -1;
        const int feed = block.lastIndexOf('\n');
        if (feed >= 0)
            return from + feed + 1;
        end = from;
    }
    return 0;
}

bool endsWithClosingLine(QFile &file)
{
    const qint64 end = endOfLastLine(file);
    if (end != file.size())
        return false;
    // The closing line is short: the last bytes hold it whole.
    const qint64 from = qMax<qint64>(0, end - 256);
    file.seek(from);
    QByteArray tail = file.read(end - from);
    tail.chop(1);
    return JournalFormat::isClosingLine(tail.mid(tail.lastIndexOf('\n') + 1));
}

// Opens `file` and takes its lock, shared to look or exclusive to change it.
bool openLocked(QFile &file, QIODevice::OpenMode mode, int lock)
{
    return file.open(mode) && ::flock(file.handle(), lock | LOCK_NB) == 0;
}

} // namespace

QStringList unclosedJournals(const QString &folder)
{
    QStringList found;
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.csv")}, QDir::Files | QDir::NoSymLinks,
                                                          QDir::Time | QDir::Reversed);
    for (const QFileInfo &info : files) {
        QFile file(info.filePath());
        if (info.size() > 0 && openLocked(file, QIODevice::ReadOnly, LOCK_SH) && beginsWithHeader(file)
            && !endsWithClosingLine(file))
            found.append(info.filePath());
    }
    return found;
}

bool closeAfterCrash(const JournalSummary &journal)
{
    QFile file(journal.path);
    // Held until the closing line is in: two programs never both close it.
    if (QFileInfo(journal.path).isSymLink() || !openLocked(file, QIODevice::ReadWrite, LOCK_EX)
        || !beginsWithHeader(file))
        return false;
    if (endsWithClosingLine(file))
        return true;
    const qint64 wholeEnd = endOfLastLine(file);
    if (wholeEnd < 0 || (wholeEnd < file.size() && !file.resize(wholeEnd)))
        return false;
    file.seek(file.size());
    // On the disk before it counts as closed: a power cut now must not bring it back.
    return file.write(JournalFormat::closingLine(QDateTime::currentDateTime(), journal.readings)) > 0 && file.flush()
           && ::fdatasync(file.handle()) == 0;
}

} // namespace JournalRecovery
