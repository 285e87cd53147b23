#include "readingstore.h"

#include "dmmdata.h"

#include <QMutexLocker>

ReadingStore::ReadingStore() = default;
ReadingStore::~ReadingStore() = default;

qint64 ReadingStore::count() const
{
    return published.load(std::memory_order_acquire);
}

void ReadingStore::keepAside(qint64 index, const ReadingShape &shape, const QString aside[])
{
    for (int slot = 0; slot < ReadingShape::TextSlots; ++slot) {
        if (shape.form(slot).kind == TextForm::Aside) {
            QMutexLocker locker(&asideLock);
            asideTexts.insert(index * ReadingShape::TextSlots + slot, aside[slot]);
        }
    }
}

void ReadingStore::append(const DmmData &reading)
{
    const qint64 index = published.load(std::memory_order_relaxed);
    StoredReading own;
    MeterNumbers numbers;
    QString aside[ReadingShape::TextSlots];
    ReadingShape shape = ReadingShape::split(reading, &own, &numbers, aside);
    keepAside(index, shape, aside);
    own.shape = shapeNumber(std::move(shape));

    const qint64 changes = numbersChangeCount.load(std::memory_order_relaxed);
    const MeterNumbers previous = changes > 0 ? numbersChanges[changes - 1].numbers : MeterNumbers();
    if (numbers != previous) {
        numbersChanges.place(changes) = {index, numbers};
        numbersChangeCount.store(changes + 1, std::memory_order_release);
    }

    publish(index, own);
}

void ReadingStore::appendLikeLast(StoredReading own)
{
    const qint64 index = published.load(std::memory_order_relaxed);
    own.shape = rows[index - 1].shape;
    publish(index, own);
}

void ReadingStore::publish(qint64 index, const StoredReading &own)
{
    rows.place(index) = own;
    summarise(index, own);
    published.store(index + 1, std::memory_order_release);
}

void ReadingStore::summarise(qint64 index, const StoredReading &own)
{
    summary.add(index, own);
    timeGaps.add(index, own.msecs);
}

bool ReadingStore::keepsTextAside(qint64 index) const
{
    return shapes[rows[index].shape]->keepsTextAside();
}

void ReadingStore::addShapeOf(const DmmData &reading)
{
    StoredReading own;
    MeterNumbers numbers;
    QString aside[ReadingShape::TextSlots];
    shapeNumber(ReadingShape::split(reading, &own, &numbers, aside));
}

void ReadingStore::keepTextsAsideOf(qint64 index, const DmmData &reading)
{
    StoredReading own;
    MeterNumbers numbers;
    QString aside[ReadingShape::TextSlots];
    keepAside(index, ReadingShape::split(reading, &own, &numbers, aside), aside);
}

void ReadingStore::adoptReadings(StoredReading *chunk, qint64 count)
{
    const qint64 first = published.load(std::memory_order_relaxed);
    rows.adoptChunk(chunk);
    for (qint64 index = first; index < first + count; ++index)
        summarise(index, rows[index]);
    published.store(first + count, std::memory_order_release);
}

quint32 ReadingStore::shapeNumber(ReadingShape &&shape)
{
    const auto found = shapeNumbers.constFind(shape.key());
    if (found != shapeNumbers.constEnd())
        return found.value();
    const quint32 number = shapeCount_++;
    shapeNumbers.insert(shape.key(), number);
    shapes.place(number) = std::make_unique<ReadingShape>(std::move(shape));
    return number;
}

MeterNumbers ReadingStore::numbersAt(qint64 index) const
{
    // The last change at or before the reading.
    qint64 low = 0;
    qint64 high = numbersChangeCount.load(std::memory_order_acquire);
    while (low < high) {
        const qint64 middle = low + (high - low) / 2;
        if (numbersChanges[middle].from <= index)
            low = middle + 1;
        else
            high = middle;
    }
    return low > 0 ? numbersChanges[low - 1].numbers : MeterNumbers();
}

std::unique_ptr<DmmData> ReadingStore::record(qint64 index) const
{
    const StoredReading &own = rows[index];
    const ReadingShape &shape = *shapes[own.shape];
    std::unique_ptr<DmmData> record = shape.join(own, numbersAt(index));
    fillAsideTexts(index, shape, record.get());
    return record;
}

void ReadingStore::fillAsideTexts(qint64 index, const ReadingShape &shape, DmmData *record) const
{
    for (int slot = 0; slot < ReadingShape::TextSlots; ++slot) {
        if (shape.form(slot).kind == TextForm::Aside) {
            QMutexLocker locker(&asideLock);
            shape.setAsideText(record, slot, asideTexts.value(index * ReadingShape::TextSlots + slot));
        }
    }
}

qint64 ReadingStore::msecsAt(qint64 index) const
{
    return rows[index].msecs;
}

qint64 ReadingStore::lowerBound(qint64 msecs) const
{
    qint64 low = 0;
    qint64 high = count();
    while (low < high) {
        const qint64 middle = low + (high - low) / 2;
        if (rows[middle].msecs < msecs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

Moments ReadingStore::moments(int line, qint64 first, qint64 last) const
{
    first = qMax<qint64>(0, first);
    last = qMin(last, count());
    if (first >= last)
        return Moments();
    return summary.moments(rows, line, first, last);
}

double ReadingStore::value(int line, qint64 index) const
{
    return rows[index].values[line];
}

QStringList ReadingStore::functions(int line) const
{
    QStringList found;
    for (quint32 shape = 0; shape < shapeCount_; ++shape) {
        const QString function = shapes[shape]->function(line);
        if (!function.isEmpty() && !found.contains(function))
            found << function;
    }
    return found;
}

bool ReadingStore::isCounted(int line, qint64 index) const
{
    return rows[index].counted(line);
}
