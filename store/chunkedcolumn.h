#pragma once

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

// An append-only sequence kept in chunks that never move once made, so that
// one thread may append while others read. The appender writes an element and
// only then publishes a count that covers it (a release store); a reader
// loads that count (an acquire load) and reads only below it. The directory
// of chunks is replaced, never changed in place, when it grows, and the old
// directories are kept until the column goes, so a reader holding one reads
// through it safely.
template <typename T, int ChunkBits = 14>
class ChunkedColumn
{
public:
    static constexpr qint64 ChunkSize = qint64(1) << ChunkBits;

    ChunkedColumn() = default;
    ~ChunkedColumn()
    {
        if (file >= 0)
            ::close(file);
    }
    ChunkedColumn(const ChunkedColumn &) = delete;
    ChunkedColumn &operator=(const ChunkedColumn &) = delete;

    const T &operator[](qint64 index) const
    {
        return directory.load(std::memory_order_acquire)[index >> ChunkBits][index & (ChunkSize - 1)];
    }

    // The place of element `index`, made when its chunk does not exist yet.
    // Appender only, in order: index is at most one past the last place made.
    T &place(qint64 index)
    {
        const qint64 chunk = index >> ChunkBits;
        if (chunk == qint64(chunks.size())) {
            Chunk made = file >= 0 ? mapFromFile(chunk) : nullptr;
            owned.push_back(made ? std::move(made) : makeChunk());
            addChunk(owned.back().get());
        }
        return chunks[size_t(chunk)][index & (ChunkSize - 1)];
    }

    // A chunk of ChunkSize elements kept elsewhere (a mapped file), which
    // outlives the column; appended after the chunks made so far.
    void adoptChunk(T *chunk) { addChunk(chunk); }

    // Chunks made from here on are pages of the open file `fd`, which the
    // column owns from now (closing any file given before): chunk k at
    // `offset` plus k chunks, its blocks taken before it is mapped, so that
    // a full disk leaves that chunk in memory instead of failing a write to
    // it later. Once a chunk is full the process lets go of its pages: the
    // file keeps them and they are read back as they are read.
    void makeChunksIn(int fd, qint64 offset)
    {
        static_assert(Mapped, "only chunks of plain data are kept in a file");
        if (file >= 0)
            ::close(file);
        file = fd;
        fileOffset = offset;
        chunksInFile = 0;
    }

    // The file given to makeChunksIn() when it holds every chunk made, else -1.
    int fileHoldingAll() const { return file >= 0 && chunksInFile == qint64(chunks.size()) ? file : -1; }

private:
    // Plain data comes in pages of its own, zero until touched and given
    // back to the system when the column goes, whatever the allocator keeps.
    static constexpr bool Mapped = std::is_trivially_copyable<T>::value && ChunkSize * sizeof(T) >= 65536;

    struct ChunkDeleter
    {
        void operator()(T *chunk) const
        {
            if constexpr (Mapped)
                ::munmap(chunk, size_t(ChunkSize) * sizeof(T));
            else
                delete[] chunk;
        }
    };
    using Chunk = std::unique_ptr<T[], ChunkDeleter>;

    static Chunk makeChunk()
    {
        if constexpr (!Mapped)
            return Chunk(new T[size_t(ChunkSize)]());
        void *pages = ::mmap(nullptr, size_t(ChunkSize) * sizeof(T), PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED)
            throw std::bad_alloc();
        return Chunk(static_cast<T *>(pages));
    }

    Chunk mapFromFile(qint64 chunk)
    {
        constexpr size_t Bytes = size_t(ChunkSize) * sizeof(T);
        const off_t at = off_t(fileOffset + chunk * qint64(Bytes));
        if (::posix_fallocate(file, at, off_t(Bytes)) != 0)
            return nullptr;
        void *pages = ::mmap(nullptr, Bytes, PROT_READ | PROT_WRITE, MAP_SHARED, file, at);
        if (pages == MAP_FAILED)
            return nullptr;
        if (lastInFile && lastInFile == chunks.back())
            ::madvise(lastInFile, Bytes, MADV_DONTNEED); // full: the file holds it now
        lastInFile = static_cast<T *>(pages);
        ++chunksInFile;
        return Chunk(lastInFile);
    }

    void addChunk(T *chunk)
    {
        chunks.push_back(chunk);
        if (chunks.size() > directories.back().size()) {
            directories.emplace_back(directories.back().size() * 2);
            std::vector<T *> &grown = directories.back();
            const std::vector<T *> &old = directories[directories.size() - 2];
            std::copy(old.begin(), old.end(), grown.begin());
        }
        std::vector<T *> &current = directories.back();
        current[chunks.size() - 1] = chunk;
        directory.store(current.data(), std::memory_order_release);
    }

    std::vector<T *> chunks;
    std::vector<Chunk> owned;
    int file = -1;
    qint64 fileOffset = 0;
    T *lastInFile = nullptr; // the last chunk made in the file
    qint64 chunksInFile = 0; // made in the present file
    std::vector<std::vector<T *>> directories{std::vector<T *>(8)};
    std::atomic<T **> directory{directories.back().data()};
};
