#include "recordedreadingsfile.h"

#include "itemdata.h"
#include "metersession.h"
#include "readingstore.h"

#include <algorithm>
#include <chrono>

#include <fcntl.h>
#include <unistd.h>

RecordedReadingsFile::RecordedReadingsFile(MeterSession &session, QObject *parent)
    : QObject(parent), session(session)
{
    connect(&session, &MeterSession::journalFileStarted, this, &RecordedReadingsFile::begin);
    connect(&session, &MeterSession::journalEnded, this, &RecordedReadingsFile::seal);
}

RecordedReadingsFile::~RecordedReadingsFile() = default; // a future of std::async waits as it goes

void RecordedReadingsFile::begin(const QString &path)
{
    // A journal made anew mid-recording (its file was removed) lacks the
    // readings before it: the item's file then never stands for it.
    disconnect(appendedConnection);
    item = qobject_cast<ItemData *>(session.target());
    if (!item) {
        store.reset();
        whole = false;
        return;
    }
    item->keepReadingsBeside(path);
    journal = path;
    store = item->store();
    lines = ReadingCache::Lines();
    whole = store->count() == 0 && store->readingsFile() >= 0;
    appendedConnection = connect(item, &ItemData::appended, this, &RecordedReadingsFile::noteAppended);
}

void RecordedReadingsFile::noteAppended(qint64 first, qint64 count)
{
    // The session wrote the reading to the journal just before the item kept it.
    const qint64 line = session.lastJournalLine();
    whole = whole && count == 1 && line >= 0 && item && item->store() == store && first == store->count() - 1;
    if (whole)
        lines.note(*store, line);
}

void RecordedReadingsFile::seal()
{
    disconnect(appendedConnection);
    const int file = whole && store ? store->readingsFile() : -1;
    const qint64 readings = store ? store->count() : 0;
    // A descriptor of its own: the store closes its one when the item's
    // next recording begins.
    const int own = file >= 0 && readings > 0 ? ::fcntl(file, F_DUPFD_CLOEXEC, 0) : -1;
    if (own >= 0) {
        sealing.erase(std::remove_if(sealing.begin(), sealing.end(),
                                     [](const std::future<void> &done) {
                                         return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
                                     }),
                      sealing.end());
        sealing.push_back(std::async(std::launch::async, [path = journal, own, readings, noted = std::move(lines)] {
            // Not sealed, the file is made anew when the journal is next opened.
            ReadingCache::seal(path, own, readings, noted);
            ::close(own);
        }));
    }
    store.reset();
    item = nullptr;
    lines = ReadingCache::Lines();
    whole = false;
}
