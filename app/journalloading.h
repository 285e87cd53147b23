#pragma once

#include "journalreader.h"

#include <functional>
#include <memory>

class QWidget;
class ReadingStore;

struct LoadedJournal
{
    JournalLoad load;
    std::shared_ptr<ReadingStore> store; // null when the reading failed or was cancelled
};

// Reads a journal into a new store on a thread of its own while the window's
// event loop goes on (the meter's link needs it); a long one shows a progress
// bar with Cancel, modal to the window. `whenRead` runs on that thread once
// the journal was read whole (see JournalReader::load).
LoadedJournal loadJournal(QWidget *window, const QString &path, const std::function<void()> &whenRead = {});

// How much a journal holds, counted the same way; a cancelled count says so
// in its error.
JournalSummary summarizeJournal(QWidget *window, const QString &path);
