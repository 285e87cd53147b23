#pragma once

#include "readingcache.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <future>
#include <memory>
#include <vector>

class ItemData;
class MeterSession;
class ReadingStore;

// Keeps the readings of the item being recorded in the binary file beside
// its journal as they come, so that a long recording stays on disk, and
// notes the journal line of each reading that file must name. When the
// journal ends holding every reading of the file, the file is sealed on a
// thread of its own: the journal then opens again at once instead of being
// read anew.
class RecordedReadingsFile : public QObject
{
    Q_OBJECT
public:
    explicit RecordedReadingsFile(MeterSession &session, QObject *parent = nullptr);
    // Waits for the files still being sealed.
    ~RecordedReadingsFile() override;

private:
    void begin(const QString &journal);
    void noteAppended(qint64 first, qint64 count);
    void seal();

    MeterSession &session;
    QPointer<ItemData> item;
    QString journal;
    // The readings of the file, kept until the journal ends even when the
    // item lets go of them (a function change empties it first).
    std::shared_ptr<const ReadingStore> store;
    ReadingCache::Lines lines;
    bool whole = false; // each reading of the store stands in the journal, its line noted
    QMetaObject::Connection appendedConnection;
    std::vector<std::future<void>> sealing;
};
