#pragma once

#include <QtGlobal>

#include <memory>
#include <unordered_map>

class DmmData;
class ReadingStore;

// Reads a store's readings one after another as records, for a pass over
// many of them (an export): a record is kept per shape and only a reading's
// own part is filled into it, instead of building a record per reading. A
// reading stamped in local time comes at the offset from UTC that local time
// had then, the same wall-clock time and instant, so that no time zone is
// looked up per reading.
class RecordReader
{
public:
    explicit RecordReader(const ReadingStore &store);
    ~RecordReader();

    // Reading `index` (below a count() obtained before); valid until the
    // next call.
    const DmmData &read(qint64 index);

private:
    int localOffset(qint64 msecs);

    const ReadingStore &store;
    std::unordered_map<quint32, std::unique_ptr<DmmData>> records; // by shape
    // The local time's offset from UTC over one quarter hour of UTC.
    qint64 offsetQuarter;
    int quarterOffset = 0;
    bool quarterChanges = false;
};
