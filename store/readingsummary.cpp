#include "readingsummary.h"

void ReadingSummary::add(qint64 index, const StoredReading &reading)
{
    for (int line = 0; line < 2; ++line) {
        if (reading.counted(line))
            building[0].lines[line].add(reading.values[line]);
    }
    // Each level whose block ends here passes it up to the next.
    for (int level = 0; level < Levels; ++level) {
        const qint64 size = blockSize(level);
        if ((index + 1) % size != 0)
            break;
        levels[level].place(index / size) = building[level];
        if (level + 1 < Levels) {
            for (int line = 0; line < 2; ++line)
                building[level + 1].lines[line].merge(building[level].lines[line]);
        }
        building[level] = Block();
    }
}

void ReadingSummary::mergeRange(const Rows &rows, int level, int line, qint64 first, qint64 last,
                                Moments *into) const
{
    if (level < 0) {
        for (qint64 index = first; index < last; ++index) {
            const StoredReading &reading = rows[index];
            if (reading.counted(line))
                into->add(reading.values[line]);
        }
        return;
    }
    const qint64 size = blockSize(level);
    for (qint64 block = first / size; block < last / size; ++block)
        into->merge(levels[level][block].lines[line]);
}

Moments ReadingSummary::moments(const Rows &rows, int line, qint64 first, qint64 last) const
{
    Moments result;
    // From single readings up: the ragged ends at each level, then the
    // whole blocks of the next level between them.
    int level = -1;
    while (first < last) {
        const qint64 unit = level < 0 ? 1 : blockSize(level);
        const qint64 next = unit << BlockBits;
        const qint64 innerFirst = (first + next - 1) / next * next;
        const qint64 innerLast = last / next * next;
        if (level + 1 >= Levels || innerFirst >= innerLast) {
            mergeRange(rows, level, line, first, last, &result);
            break;
        }
        mergeRange(rows, level, line, first, innerFirst, &result);
        mergeRange(rows, level, line, innerLast, last, &result);
        first = innerFirst;
        last = innerLast;
        ++level;
    }
    return result;
}
