#pragma once

#include "journalformat.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class DmmData;
class ReadingStore;

// A journal, or any CSV table in its format, read back.
struct JournalContents
{
    JournalHeader header;
    std::vector<std::unique_ptr<DmmData>> records;
    bool closed = false;  // it ends with its closing line
    int skippedLines = 0; // lines that are no whole reading: a line cut by a crash
    QString error;        // why the file could not be read at all; empty when it could
};

// What reading a journal into a store found.
struct JournalLoad
{
    JournalHeader header;
    bool closed = false;
    int skippedLines = 0;
    QString error;
    bool cancelled = false;
};

// How much a journal holds, without reading its readings in full.
struct JournalSummary
{
    QString path;
    QString itemName;
    qint64 readings = 0;
    QDateTime first; // time of the first and the last reading; invalid for stored readings
    QDateTime last;
    QString error; // why the file could not be read; empty when it could
};

namespace JournalReader {

// Every record of a small journal (tests, tools).
JournalContents read(const QString &path);

// Hears the bytes read so far and the file's size now and then; false stops
// the reading.
using Progress = std::function<bool(qint64 read, qint64 size)>;

// A journal of any length read into a new `store`: from the binary file of
// its readings beside it when that still matches it, else in one pass in
// pieces into a new binary file, which then stands for it (see
// ReadingCache). `store` stays null when the journal could not be read or
// the reading was cancelled. `whenRead`, when given, runs once the readings
// are all in the store and before the binary file is sealed, so that a
// change it makes to the journal (a crashed one closed) is one the file is
// tied to.
JournalLoad load(const QString &path, std::shared_ptr<ReadingStore> *store, const Progress &progress = Progress(),
                 const std::function<void()> &whenRead = {});

// A cancelled summary (`progress` returned false) says so in `error`.
JournalSummary summarize(const QString &path, const Progress &progress = Progress());

// One reading line (without its line feed) as read() takes it; null when the
// line is no whole reading. For readers that follow a growing journal.
std::unique_ptr<DmmData> readingOf(const QByteArray &line);

// What one `#` line above the header row says, into `header`.
void readHeaderComment(const QByteArray &line, JournalHeader *header);

} // namespace JournalReader
