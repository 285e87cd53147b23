#include "journalfollower.h"

#include "dmmdata.h"
#include "journalreader.h"
#include "lineprotocol.h"

#include <QFileInfo>

#include <sys/stat.h>

namespace {

constexpr qint64 ChunkBytes = 256 * 1024;

bool isReadingLine(const QByteArray &line)
{
    return !line.isEmpty() && line.at(0) >= '0' && line.at(0) <= '9';
}

} // namespace

JournalFollower::JournalFollower(const QString &path) : m_path(path), m_file(path) {}

bool JournalFollower::ensureOpen()
{
    // The writer makes the file with its first line.
    return m_file.isOpen() || m_file.open(QIODevice::ReadOnly);
}

std::vector<FollowedReading> JournalFollower::readMore(int limit)
{
    std::vector<FollowedReading> readings;
    if (!ensureOpen())
        return readings;
    while (int(readings.size()) < limit) {
        if (!m_file.seek(m_position))
            break;
        const QByteArray chunk = m_file.read(ChunkBytes);
        int start = 0;
        for (int end = chunk.indexOf('\n'); end >= 0 && int(readings.size()) < limit;
             end = chunk.indexOf('\n', start)) {
            const QByteArray line = chunk.mid(start, end - start);
            start = end + 1;
            if (line.startsWith('#')) {
                JournalReader::readHeaderComment(line, &m_header);
            } else if (isReadingLine(line)) {
                // A line that is no whole reading (cut short by a full disk,
                // then cut off and written again) is passed over as the
                // reader passes it over.
                if (std::unique_ptr<DmmData> record = JournalReader::readingOf(line))
                    readings.push_back({line.left(line.indexOf(',')).toLongLong(), std::move(record),
                                        m_position + start});
            }
        }
        if (start == 0) // nothing whole beyond the position yet
            break;
        m_position += start;
    }
    return readings;
}

void JournalFollower::rewind(qint64 position)
{
    m_position = position;
}

qint64 JournalFollower::readingsAfter(qint64 position)
{
    if (!ensureOpen() || !m_file.seek(position))
        return 0;
    qint64 count = 0;
    while (!m_file.atEnd()) {
        const QByteArray line = m_file.readLine();
        if (isReadingLine(line) && line.endsWith('\n'))
            ++count;
    }
    return count;
}

bool JournalFollower::isRemoved() const
{
    struct stat st;
    return m_file.isOpen() && ::fstat(m_file.handle(), &st) == 0 && st.st_nlink == 0;
}

QString JournalFollower::meter() const
{
    if (!m_header.resource.isEmpty())
        return meterName(m_header.resource);
    return meterName(m_header.itemName.isEmpty() ? QFileInfo(m_path).completeBaseName() : m_header.itemName);
}
