#pragma once

#include "journalformat.h"

#include <QString>

#include <memory>

class RecordSink;

// Where the window's recordings are journaled: one file per continuous
// recording of an item in the per-user data folder, named after the item and
// the start time, written as its readings are kept. The session opens and
// ends them; nothing here ever deletes one.
class RecordingJournal
{
public:
    // journal/ in the per-user data folder.
    static QString folder();
    // The journal file of the recording `header` describes.
    static std::unique_ptr<RecordSink> open(const JournalHeader &header);
};
