#pragma once

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include <sys/mman.h>

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
            owned.push_back(makeChunk());
            addChunk(owned.back().get());
        }
        return chunks[size_t(chunk)][index & (ChunkSize - 1)];
    }

    // A chunk of ChunkSize elements kept elsewhere (a mapped file), which
    // outlives the column; appended after the chunks made so far.
    void adoptChunk(T *chunk) { addChunk(chunk); }

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
    std::vector<std::vector<T *>> directories{std::vector<T *>(8)};
    std::atomic<T **> directory{directories.back().data()};
};
