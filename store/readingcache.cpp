#include "readingcache.h"

#include "dmmdata.h"
#include "readingstore.h"

#include <QFile>

#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ReadingCache {

namespace {

constexpr char Magic[8] = {'D', 'M', 'M', 'R', 'D', 'G', 'S', '1'};
constexpr qint64 ShapesAt = 4096;
constexpr qint64 AsidesAt = 64 * 1024;
constexpr qint64 ReadingsAt = 1024 * 1024;
constexpr qint64 MostShapes = (AsidesAt - ShapesAt) / 8;
constexpr qint64 MostAsides = (ReadingsAt - AsidesAt) / 16;
constexpr qint64 ChunkBytes = ReadingStore::ChunkSize * qint64(sizeof(StoredReading));

struct Header
{
    char magic[8];
    qint64 journalSize;
    qint64 journalModified; // ns since the epoch
    qint64 journalInode;
    qint64 journalDevice;
    qint64 readings;
    qint64 shapes;
    qint64 asides;
    qint64 skipped;
};

// The journal as the file system knows it, in the header's terms.
bool identify(const QString &journal, Header *header)
{
    struct stat info;
    if (::stat(QFile::encodeName(journal).constData(), &info) != 0)
        return false;
    header->journalSize = info.st_size;
    header->journalModified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    header->journalInode = qint64(info.st_ino);
    header->journalDevice = qint64(info.st_dev);
    return true;
}

// The readings' part of the file, whole chunks, so that every chunk mapped
// lies inside the file.
qint64 readingBytes(qint64 readings)
{
    return (readings + ReadingStore::ChunkSize - 1) / ReadingStore::ChunkSize * ChunkBytes;
}

bool writeAt(int fd, qint64 at, const void *data, qint64 size)
{
    return ::pwrite(fd, data, size_t(size), off_t(at)) == ssize_t(size);
}

} // namespace

QString pathFor(const QString &journal)
{
    return journal + QStringLiteral(".readings");
}

void Lines::note(const ReadingStore &store, qint64 line)
{
    // A reading begins at most one shape, the store's newest.
    if (ofShapes.size() < store.shapeCount())
        ofShapes.push_back(line);
    const qint64 index = store.count() - 1;
    if (store.keepsTextAside(index))
        ofAsides.emplace_back(index, line);
}

bool seal(const QString &journal, int fd, qint64 readings, const Lines &lines)
{
    Header header;
    std::memcpy(header.magic, Magic, sizeof Magic);
    if (fd < 0 || !identify(journal, &header) || qint64(lines.ofShapes.size()) > MostShapes
        || qint64(lines.ofAsides.size()) > MostAsides
        || (lines.journalSize >= 0 && lines.journalSize != header.journalSize))
        return false;
    header.readings = readings;
    header.shapes = qint64(lines.ofShapes.size());
    header.asides = qint64(lines.ofAsides.size());
    header.skipped = lines.skipped;
    // Only while it is still the file under that name: another program
    // reading the journal at the same time may have made it anew.
    struct stat own;
    struct stat named;
    if (::fstat(fd, &own) != 0 || ::stat(QFile::encodeName(pathFor(journal)).constData(), &named) != 0
        || own.st_dev != named.st_dev || own.st_ino != named.st_ino)
        return false;
    std::vector<qint64> asides;
    asides.reserve(2 * lines.ofAsides.size());
    for (const auto &aside : lines.ofAsides)
        asides.insert(asides.end(), {aside.first, aside.second});
    // Whole chunks hold the readings; a file without any is made that long.
    const qint64 size = ReadingsAt + readingBytes(header.readings);
    return own.st_size <= size && (own.st_size == size || ::ftruncate(fd, off_t(size)) == 0)
           && writeAt(fd, ShapesAt, lines.ofShapes.data(), header.shapes * 8)
           && writeAt(fd, AsidesAt, asides.data(), qint64(asides.size()) * 8)
           // On the disk before the header says they stand for the journal.
           && ::fdatasync(fd) == 0 && writeAt(fd, 0, &header, sizeof header);
}

bool keepLive(const QString &journal, ReadingStore &store)
{
    // A file of that name goes, never cut short: chunks of it may still be
    // mapped, here (a journal made anew under its old name) or by another
    // program, and a mapped page the file no longer reaches kills its reader.
    const QByteArray path = QFile::encodeName(pathFor(journal));
    ::unlink(path.constData());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    store.keepReadingsIn(fd, ReadingsAt);
    return true;
}

std::shared_ptr<ReadingStore> open(const QString &journal,
                                   const std::function<std::unique_ptr<DmmData>(qint64 offset)> &lineAt,
                                   int *skipped)
{
    Header now;
    if (!identify(journal, &now))
        return nullptr;
    const int fd = ::open(QFile::encodeName(pathFor(journal)).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    Header header;
    struct stat info;
    const bool matches = ::pread(fd, &header, sizeof header, 0) == ssize_t(sizeof header)
                         && std::memcmp(header.magic, Magic, sizeof Magic) == 0
                         && header.journalSize == now.journalSize && header.journalModified == now.journalModified
                         && header.journalInode == now.journalInode && header.journalDevice == now.journalDevice
                         && header.readings >= 0 && header.shapes >= 0 && header.shapes <= MostShapes
                         && header.asides >= 0 && header.asides <= MostAsides && ::fstat(fd, &info) == 0
                         // A count no file of this size holds (a damaged header) would overflow the sum.
                         && header.readings <= (info.st_size - ReadingsAt) / qint64(sizeof(StoredReading))
                         && info.st_size == ReadingsAt + readingBytes(header.readings);
    std::vector<qint64> shapeLines(size_t(matches ? header.shapes : 0));
    std::vector<qint64> asideLines(size_t(matches ? header.asides * 2 : 0));
    const bool tablesRead =
        matches && ::pread(fd, shapeLines.data(), shapeLines.size() * 8, ShapesAt) == ssize_t(shapeLines.size() * 8)
        && ::pread(fd, asideLines.data(), asideLines.size() * 8, AsidesAt) == ssize_t(asideLines.size() * 8);
    const qint64 mappedBytes = tablesRead ? readingBytes(header.readings) : 0;
    void *mapped = mappedBytes > 0 ? ::mmap(nullptr, size_t(mappedBytes), PROT_READ | PROT_WRITE, MAP_PRIVATE, fd,
                                            ReadingsAt)
                                   : nullptr;
    ::close(fd);
    if (!tablesRead || mapped == MAP_FAILED)
        return nullptr;

    auto store = std::make_shared<ReadingStore>();
    if (mapped) {
        // Private: a reading appended later (recording into the item) goes
        // to this process's copy of the page, never into the file.
        store->keepMapping(std::shared_ptr<const void>(mapped, [mappedBytes](const void *at) {
            ::munmap(const_cast<void *>(at), size_t(mappedBytes));
        }));
    }
    for (qint64 offset : shapeLines) {
        const std::unique_ptr<DmmData> reading = lineAt(offset);
        if (!reading)
            return nullptr;
        store->addShapeOf(*reading);
    }
    if (store->shapeCount() != quint32(header.shapes))
        return nullptr;
    auto *readings = static_cast<StoredReading *>(mapped);
    for (qint64 first = 0; first < header.readings; first += ReadingStore::ChunkSize) {
        StoredReading *chunk = readings + first;
        const qint64 count = qMin(ReadingStore::ChunkSize, header.readings - first);
        for (qint64 index = 0; index < count; ++index) {
            if (chunk[index].shape >= quint32(header.shapes))
                return nullptr;
        }
        store->adoptReadings(chunk, count);
        // Summed: the pages go back to the file until they are read again.
        ::madvise(chunk, size_t(ChunkBytes), MADV_DONTNEED);
    }
    for (qint64 i = 0; i < header.asides; ++i) {
        const std::unique_ptr<DmmData> reading = lineAt(asideLines[size_t(2 * i + 1)]);
        if (!reading || asideLines[size_t(2 * i)] >= header.readings)
            return nullptr;
        store->keepTextsAsideOf(asideLines[size_t(2 * i)], *reading);
    }
    *skipped = int(header.skipped);
    return store;
}

} // namespace ReadingCache
