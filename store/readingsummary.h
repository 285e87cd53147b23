#pragma once

#include "chunkedcolumn.h"
#include "moments.h"
#include "storedreading.h"

// Moments of both display lines per block of readings, at block sizes of 64,
// 64^2, ... 64^5, kept as readings are appended: the statistics of any range,
// and the extremes of any stretch the chart draws in one pixel column, are
// merged from at most 126 pieces per level. Readings without a number are not
// counted. Appended by the store's one appending thread; read by any thread
// below a count the store published (see ChunkedColumn).
class ReadingSummary
{
public:
    static constexpr int Levels = 5;
    static constexpr int BlockBits = 6; // 64 readings, or lower blocks, per block

    struct Block
    {
        Moments lines[2];
    };

    using Rows = ChunkedColumn<StoredReading>;

    // The reading at `index`, which is the count of readings added so far.
    void add(qint64 index, const StoredReading &reading);

    // The readings of `line` in [first, last), all below the published count.
    Moments moments(const Rows &rows, int line, qint64 first, qint64 last) const;

private:
    static qint64 blockSize(int level) { return qint64(1) << (BlockBits * (level + 1)); }
    void mergeRange(const Rows &rows, int level, int line, qint64 first, qint64 last, Moments *into) const;

    ChunkedColumn<Block, 8> levels[Levels];
    Block building[Levels];
};
