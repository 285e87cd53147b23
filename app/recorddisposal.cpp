#include "recorddisposal.h"

#include "dmmdata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimerEvent>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Long enough to free thousands of records, short enough to go unnoticed.
constexpr qint64 SliceNs = 10 * 1000 * 1000;
constexpr size_t RecordsBetweenClockReads = 256;

QPointer<RecordDisposal> theInstance;

// The small blocks of a freed record would wait in the allocator's fast
// lists; left to pile up, the next large allocation or free merges them all
// at once, which after a day of readings holds the thread up for a second.
// Without fast lists each block is merged as it is freed, in the slice that
// frees it.
void mergeBlocksAsTheyAreFreed()
{
#ifdef __GLIBC__
    mallopt(M_MXFAST, 0);
#endif
}

} // namespace

RecordDisposal::RecordDisposal(QObject *parent) : QObject(parent)
{
    mergeBlocksAsTheyAreFreed();
}

RecordDisposal::~RecordDisposal()
{
    for (size_t i = next; i < pending.size(); ++i)
        delete pending[i];
}

RecordDisposal *RecordDisposal::instance()
{
    if (!theInstance && QCoreApplication::instance())
        theInstance = new RecordDisposal(QCoreApplication::instance());
    return theInstance;
}

void RecordDisposal::dispose(const QList<DmmData *> &records)
{
    if (records.isEmpty())
        return;
    RecordDisposal *disposal = instance();
    if (!disposal) {
        qDeleteAll(records);
        return;
    }
    disposal->pending.insert(disposal->pending.end(), records.cbegin(), records.cend());
    if (disposal->timerId == 0)
        disposal->timerId = disposal->startTimer(0);
}

bool RecordDisposal::idle()
{
    return !theInstance || theInstance->timerId == 0;
}

void RecordDisposal::timerEvent(QTimerEvent *)
{
    QElapsedTimer clock;
    clock.start();
    while (next < pending.size()) {
        delete pending[next++];
        if (next % RecordsBetweenClockReads == 0 && clock.nsecsElapsed() > SliceNs)
            return;
    }
    pending.clear();
    pending.shrink_to_fit();
    next = 0;
    killTimer(timerId);
    timerId = 0;
}
