#pragma once

#include "dmmdata.h"

#include <QtGlobal>

#include <cmath>

// What one reading keeps of its own: everything else it shares with the
// readings before it and finds through `shape`. 64 bytes, the same in memory
// and in the cache file beside a journal.
struct StoredReading
{
    enum Flag : quint32 {
        Line1Counted = 1, // display line 1 holds a number (no OL, Lo or -----)
        Line2Counted = 2,
    };

    qint64 msecs = 0; // since the epoch; 0 for a reading without a time
    double values[2] = {0, 0};      // per display line
    double frequencies[2] = {0, 0}; // per channel
    quint32 valueDigits[2] = {0, 0};
    quint32 frequencyDigits[2] = {0, 0};
    quint32 shape = 0;
    quint32 flags = 0;

    bool counted(int line) const { return flags & (line == 0 ? Line1Counted : Line2Counted); }

    // Whether a display line's value counts as a number: in the normal state,
    // and neither infinite nor as large as the sizes the meter sends for OL,
    // Lo and -----, which would spoil every sum and extreme.
    static bool isNumber(int valueMode, double value)
    {
        return valueMode == DmmData::ValueNormal && std::isfinite(value)
               && std::fabs(value) < DmmData::OverloadSentinel;
    }
};
static_assert(sizeof(StoredReading) == 64, "a reading's own part is 64 bytes");
