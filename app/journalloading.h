#pragma once

#include "journalreader.h"

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
// bar with Cancel, modal to the window.
LoadedJournal loadJournal(QWidget *window, const QString &path);
