#include "timegaps.h"

void TimeGaps::add(qint64 index, qint64 msecs)
{
    const qint64 step = msecs != 0 && previousMs != 0 ? msecs - previousMs : 0;
    if (index >= 2 && step >= MinimumMs && step > Factor * previousStep) {
        const qint64 n = published.load(std::memory_order_relaxed);
        starts.place(n) = index;
        published.store(n + 1, std::memory_order_release);
    }
    previousStep = step;
    previousMs = msecs;
}

qint64 TimeGaps::firstIn(qint64 first, qint64 last) const
{
    qint64 low = 0;
    qint64 high = published.load(std::memory_order_acquire);
    const qint64 count = high;
    while (low < high) {
        const qint64 middle = low + (high - low) / 2;
        if (starts[middle] < first)
            low = middle + 1;
        else
            high = middle;
    }
    return low < count && starts[low] <= last ? starts[low] : -1;
}
