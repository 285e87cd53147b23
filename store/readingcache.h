#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class DmmData;
class ReadingStore;

// A journal's readings in the store's compact form, in a binary file beside
// it (the journal's name with ".readings" added), so that a journal read
// once opens again in moments and is mapped, not held, in memory. The CSV
// journal stays the one source of truth: the file only names lines of it for
// what the readings share, and records the journal's size, modification time
// and identity; a file that does not match them, or is cut short, is not
// used, and the journal is read again.
namespace ReadingCache {

QString pathFor(const QString &journal);

struct Lines
{
    std::vector<qint64> ofShapes;                    // a line of each shape, in shape order
    std::vector<std::pair<qint64, qint64>> ofAsides; // (reading, line) for readings with texts kept aside
    int skipped = 0;
    // The journal's size as its reading began; -1 when the journal is
    // taken as it is at seal(). A journal that has another size by then
    // changed while or after it was read, and the file is not sealed.
    qint64 journalSize = -1;

    // The store's last reading stands at journal line `line`: kept when it
    // began a shape or keeps texts aside.
    void note(const ReadingStore &store, qint64 line);
};

// Makes the file that keepLive() began for `journal` stand for it, now that
// the journal holds the store's first `readings` readings, and nothing else:
// the lines of their shapes and asides, then, once the readings are on the
// disk, the header. `file` is the store's readings file (see
// ReadingStore::readingsFile); -1, or a file that cannot be written, gives
// false: the journal is then read again next time.
bool seal(const QString &journal, int file, qint64 readings, const Lines &lines);

// While a recording writes `journal`, the readings appended to `store` from
// now on are kept in the journal's binary file as they come, in its layout,
// so a long recording (or a journal being read) stays on disk rather than in
// memory. The file's header stays unmarked until seal(), once the journal
// has ended holding every reading of the file; until then it never stands
// for its journal (which may still grow, or the program die), and the
// journal's next open makes it anew. False when the file cannot be made; the
// readings then stay in memory.
bool keepLive(const QString &journal, ReadingStore &store);

// The journal's readings from its file, or null when there is none that
// matches the journal. `lineAt` reads the journal's line at an offset.
std::shared_ptr<ReadingStore> open(const QString &journal,
                                   const std::function<std::unique_ptr<DmmData>(qint64 offset)> &lineAt,
                                   int *skipped);

} // namespace ReadingCache
