#pragma once

#include "journalformat.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class DmmData;

// A journal, or any CSV table in its format, read back.
struct JournalContents
{
    JournalHeader header;
    std::vector<std::unique_ptr<DmmData>> records;
    bool closed = false;  // it ends with its closing line
    int skippedLines = 0; // lines that are no whole reading: a line cut by a crash
    QString error;        // why the file could not be read at all; empty when it could
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

JournalContents read(const QString &path);

JournalSummary summarize(const QString &path);

} // namespace JournalReader
