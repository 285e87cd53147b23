#pragma once

#include "chunkedcolumn.h"

#include <QtGlobal>

#include <atomic>

// Where the readings of an item leave a gap in time, such as a lost link: a
// reading this many times further from the one before it than that one from
// its predecessor (and at least MinimumMs) starts a new run. Kept as readings
// are appended, so that a view finds the gaps of any range without walking
// the readings. One appending thread, readers on any thread (as ReadingStore).
class TimeGaps
{
public:
    static constexpr qint64 Factor = 4;
    static constexpr qint64 MinimumMs = 1000;

    // The reading at `index` (the count added so far) with its time in ms
    // since the epoch, 0 when it has none (no step to or from it).
    void add(qint64 index, qint64 msecs);
    // The first reading in [first, last] that starts a run after a gap; -1 when none does.
    qint64 firstIn(qint64 first, qint64 last) const;

private:
    ChunkedColumn<qint64, 10> starts; // ascending
    std::atomic<qint64> published{0};
    qint64 previousMs = 0;
    qint64 previousStep = 0;
};
