#pragma once

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <vector>

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
            owned.push_back(std::make_unique<T[]>(size_t(ChunkSize)));
            addChunk(owned.back().get());
        }
        return chunks[size_t(chunk)][index & (ChunkSize - 1)];
    }

    // A chunk of ChunkSize elements kept elsewhere (a mapped file), which
    // outlives the column; appended after the chunks made so far.
    void adoptChunk(T *chunk) { addChunk(chunk); }

private:
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
    std::vector<std::unique_ptr<T[]>> owned;
    std::vector<std::vector<T *>> directories{std::vector<T *>(8)};
    std::atomic<T **> directory{directories.back().data()};
};
