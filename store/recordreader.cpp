#include "recordreader.h"

#include "dmmdata.h"
#include "readingstore.h"

#include <limits>

namespace {

constexpr qint64 QuarterHourMs = 15 * 60 * 1000;
// Records kept for readings of as many shapes; more are built again.
constexpr size_t MostShapesKept = 64;

int localOffsetAt(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime).offsetFromUtc();
}

} // namespace

RecordReader::RecordReader(const ReadingStore &store)
    : store(store), offsetQuarter(std::numeric_limits<qint64>::min())
{
}

RecordReader::~RecordReader() = default;

const DmmData &RecordReader::read(qint64 index)
{
    const StoredReading &own = store.rows[index];
    const ReadingShape &shape = *store.shapes[own.shape];
    std::unique_ptr<DmmData> &record = records[own.shape];
    if (record) {
        shape.refill(record.get(), own, store.numbersAt(index));
        store.fillAsideTexts(index, shape, record.get());
    } else {
        if (records.size() > MostShapesKept) {
            records.clear();
            return read(index);
        }
        record = store.record(index);
    }
    if (shape.hasLocalTime())
        record->time = QDateTime::fromMSecsSinceEpoch(own.msecs, Qt::OffsetFromUTC, localOffset(own.msecs));
    return *record;
}

// Asking the system costs a file lookup each time. Offsets change at whole
// quarter hours of UTC (every zone's changes since the 1970s), so the answer
// at both ends of a quarter hour serves all of it; a quarter whose ends
// differ is asked per reading.
int RecordReader::localOffset(qint64 msecs)
{
    const qint64 quarter = msecs >= 0 ? msecs / QuarterHourMs : (msecs + 1) / QuarterHourMs - 1;
    if (quarter != offsetQuarter) {
        offsetQuarter = quarter;
        quarterOffset = localOffsetAt(quarter * QuarterHourMs);
        quarterChanges = localOffsetAt((quarter + 1) * QuarterHourMs - 1) != quarterOffset;
    }
    return quarterChanges ? localOffsetAt(msecs) : quarterOffset;
}
