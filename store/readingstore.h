#pragma once

#include "chunkedcolumn.h"
#include "moments.h"
#include "readingshape.h"
#include "readingsummary.h"
#include "storedreading.h"
#include "timegaps.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QStringList>

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
    // A reading like the last one appended in all but its own part: the
    // same shape and meter numbers, no text kept aside (`own.shape` is set
    // here). What a reader of a long file appends for most of its lines.
    void appendLikeLast(StoredReading own);
    // A full record, equal to the one appended, built on demand (index < count()).
    std::unique_ptr<DmmData> record(qint64 index) const;
    // The reading's time in ms since the epoch; 0 for a reading without one.
    qint64 msecsAt(qint64 index) const;
    // The first index whose time is at or after `msecs` (times never go back).
    qint64 lowerBound(qint64 msecs) const;
    // The numeric readings of display line `line` (0 or 1) in [first, last);
    // readings with a state (OL, Lo, -----) or no number are left out.
    Moments moments(int line, qint64 first, qint64 last) const;
    // A reading's own part, as kept.
    const StoredReading &own(qint64 index) const { return rows[index]; }

    // For the cache beside a journal (appender side): how many shapes there
    // are, whether a reading keeps a text aside, and the store built back
    // from the cache: each shape from a reading of it, in order, the texts
    // kept aside from their readings, then the readings' own parts mapped
    // from the file, a chunk of ChunkSize at a time (only the last one short)
    // while `mapping` keeps the file mapped.
    quint32 shapeCount() const { return shapeCount_; }
    bool keepsTextAside(qint64 index) const;
    void addShapeOf(const DmmData &reading);
    void keepTextsAsideOf(qint64 index, const DmmData &reading);
    static constexpr qint64 ChunkSize = ChunkedColumn<StoredReading>::ChunkSize;
    void adoptReadings(StoredReading *chunk, qint64 count);
    void keepMapping(std::shared_ptr<const void> fileMapping) { mapping = std::move(fileMapping); }
    // The readings' own parts appended from now on go to the open file `fd`
    // (the store owns it), chunk k at `offset` plus k chunks (see
    // ChunkedColumn::makeChunksIn).
    void keepReadingsIn(int fd, qint64 offset) { rows.makeChunksIn(fd, offset); }
    // That file when it holds every reading's own part, else -1.
    int readingsFile() const { return rows.fileHoldingAll(); }

    // A display line's value, and whether it is a number counted in moments.
    double value(int line, qint64 index) const;
    bool isCounted(int line, qint64 index) const;
    // The functions display line `line` shows, each once, in the order they
    // first came (the appender's thread): several in readings from the
    // meter's memory, which holds readings of any.
    QStringList functions(int line) const;
    // Where the readings leave a gap in time.
    const TimeGaps &gaps() const { return timeGaps; }

private:
    struct NumbersChange
    {
        qint64 from = 0;
        MeterNumbers numbers;
    };

    quint32 shapeNumber(ReadingShape &&shape);
    void publish(qint64 index, const StoredReading &own);
    // Whatever is kept about the readings in order, for one more.
    void summarise(qint64 index, const StoredReading &own);
    void keepAside(qint64 index, const ReadingShape &shape, const QString aside[]);
    MeterNumbers numbersAt(qint64 index) const;
    void fillAsideTexts(qint64 index, const ReadingShape &shape, DmmData *record) const;

    friend class RecordReader;

    std::atomic<qint64> published{0};
    ChunkedColumn<StoredReading> rows;
    ReadingSummary summary;
    TimeGaps timeGaps;

    ChunkedColumn<std::unique_ptr<ReadingShape>, 6> shapes;
    QHash<QByteArray, quint32> shapeNumbers; // the appender's alone
    quint32 shapeCount_ = 0;
    std::shared_ptr<const void> mapping;

    ChunkedColumn<NumbersChange, 8> numbersChanges;
    std::atomic<qint64> numbersChangeCount{0};

    mutable QMutex asideLock;
    QHash<qint64, QString> asideTexts; // by index * TextSlots + slot
};
