#pragma once

#include "chunkedcolumn.h"
#include "moments.h"
#include "readingshape.h"
#include "readingsummary.h"
#include "storedreading.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>

#include <atomic>
#include <memory>

class DmmData;

// One item's readings, compact: per reading 64 bytes of its own (time, each
// line's value, each channel's frequency, the digits of their texts), the rest
// once in a small dictionary of shapes the readings point into, and a summary
// of moments per block for statistics and drawing at any zoom.
//
// Appended by one thread, read by any: a reader reads only below a count()
// it obtained, and what lies below a count once read never changes. The
// appender writes a reading (its row, its summary blocks, any new shape or
// meter numbers) and then publishes the new count with a release store;
// count() is an acquire load, so whatever it covers is seen whole.
class ReadingStore
{
public:
    ReadingStore();
    ~ReadingStore();
    ReadingStore(const ReadingStore &) = delete;
    ReadingStore &operator=(const ReadingStore &) = delete;

    qint64 count() const;
    // Keeps only what changes per reading.
    void append(const DmmData &reading);
    // A full record, equal to the one appended, built on demand (index < count()).
    std::unique_ptr<DmmData> record(qint64 index) const;
    // The reading's time in ms since the epoch; 0 for a reading without one.
    qint64 msecsAt(qint64 index) const;
    // The first index whose time is at or after `msecs` (times never go back).
    qint64 lowerBound(qint64 msecs) const;
    // The numeric readings of display line `line` (0 or 1) in [first, last);
    // readings with a state (OL, Lo, -----) or no number are left out.
    Moments moments(int line, qint64 first, qint64 last) const;
    // A display line's value, and whether it is a number counted in moments.
    double value(int line, qint64 index) const;
    bool isCounted(int line, qint64 index) const;

private:
    struct NumbersChange
    {
        qint64 from = 0;
        MeterNumbers numbers;
    };

    quint32 shapeNumber(ReadingShape &&shape);
    MeterNumbers numbersAt(qint64 index) const;

    std::atomic<qint64> published{0};
    ChunkedColumn<StoredReading> rows;
    ReadingSummary summary;

    ChunkedColumn<std::unique_ptr<ReadingShape>, 6> shapes;
    QHash<QByteArray, quint32> shapeNumbers; // the appender's alone
    quint32 shapeCount = 0;

    ChunkedColumn<NumbersChange, 8> numbersChanges;
    std::atomic<qint64> numbersChangeCount{0};

    mutable QMutex asideLock;
    QHash<qint64, QString> asideTexts; // by index * TextSlots + slot
};
