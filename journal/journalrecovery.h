#pragma once

#include "journalreader.h"

#include <QString>
#include <QStringList>

// Journals a crash left open: found in a folder, and closed once they were
// offered. Only a file that begins with a journal's header is ever touched;
// one whose lock (flock) is refused is in use by a running writer, in this
// program or another, and left alone.
namespace JournalRecovery {

// The journals in `folder` whose writer ended without closing them (the
// program died while recording), oldest first: files that begin with a
// journal's header, do not end with its closing line and are not in use.
QStringList unclosedJournals(const QString &folder);

// Closes a journal whose writer died, as `journal` summarized it, holding
// its lock meanwhile: what follows its last line feed, a line the crash cut
// short, is cut off whatever its length, and the closing line appended with
// the number of readings the summary counted (the file is not read again).
// True when the journal is closed now or was already; false, with the file
// untouched, when it is in use, is no journal or cannot be written.
bool closeAfterCrash(const JournalSummary &journal);

} // namespace JournalRecovery
