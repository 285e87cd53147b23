// Long journals read into a store: the same records as the full reader makes,
// from the CSV the first time and from the binary file beside it after; the
// binary file rebuilt when it is stale, cut short, damaged or gone; a disk too full
// for it; a reading cancelled; a recording's readings kept in the file as
// they come.
#include "journalformat.h"
#include "journalreader.h"
#include "readingcache.h"
#include "readingstore.h"
#include "storerecords.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Readings of every kind the shortcut must leave to the full reader, among
// long runs it takes.
std::unique_ptr<DmmData> mixed(int n)
{
    std::unique_ptr<DmmData> r = volts(n, 0.01 + n % 97 * 1e-5, 1.0 + n % 89 * 1e-4);
    switch (n % 500) {
    case 10:
        setState(r.get(), 0, DmmData::ValueOverload, QStringLiteral("  OL "));
        break;
    case 20:
        r->channels[1]->unitTexts[1] = QStringLiteral("V, \"peak\""); // quoted
        break;
    case 30:
        r->channels[0]->valueTexts[0] = QStringLiteral("0012.5"); // kept aside
        break;
    case 40:
        r->time = r->time.toOffsetFromUtc(7200);
        break;
    case 50: // a frequency the meter could not measure: NaN in the file, its text says which
        r->channels[0]->frequency = DmmData::OverloadSentinel;
        r->channels[0]->frequencyText = QStringLiteral("OL");
        break;
    default:
        break;
    }
    if (n >= 3000) { // another function on line 2
        r->channels[1]->functions[1] = QStringLiteral("DBM");
        r->channels[1]->unitTexts[1] = QStringLiteral("dBm");
    }
    return r;
}

QString writeJournal(const QTemporaryDir &dir, int count)
{
    const QString path = dir.filePath(QStringLiteral("long.csv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    JournalHeader header;
    header.itemName = QStringLiteral("Long");
    file.write(JournalFormat::headerText(header));
    for (int n = 0; n < count; ++n)
        file.write(JournalFormat::recordLine(n + 1, *mixed(n)));
    file.write("17,2026-03-29T0"); // cut short by a crash
    return path;
}

void compareWithFullReader(const QString &path)
{
    std::shared_ptr<ReadingStore> store;
    const JournalLoad load = JournalReader::load(path, &store);
    const JournalContents full = JournalReader::read(path);
    QVERIFY(store);
    QCOMPARE(load.header.itemName, QStringLiteral("Long"));
    QCOMPARE(load.skippedLines, full.skippedLines);
    QCOMPARE(store->count(), qint64(full.records.size()));
    for (size_t i = 0; i < full.records.size(); ++i)
        QCOMPARE(dump(*store->record(qint64(i))), dump(*full.records[i]));
}

} // namespace

class TestJournalLoad : public QObject
{
    Q_OBJECT

private slots:
    void readsAsTheFullReaderDoes();
    void binaryFileRebuiltWhenStaleCutOrGone();
    void diskTooFullForTheBinaryFile();
    void grownWhileRead();
    void cancelled();
    void liveReadingsKeptInTheFile();
    void recordingSealedAcrossAnOffsetChange();
};

void TestJournalLoad::readsAsTheFullReaderDoes()
{
    QTemporaryDir dir;
    const QString path = writeJournal(dir, 5000);
    compareWithFullReader(path); // from the CSV, the binary file written
    QVERIFY(QFile::exists(ReadingCache::pathFor(path)));
    compareWithFullReader(path); // from the binary file
}

void TestJournalLoad::binaryFileRebuiltWhenStaleCutOrGone()
{
    QTemporaryDir dir;
    const QString path = writeJournal(dir, 2000);
    const QString cache = ReadingCache::pathFor(path);
    std::shared_ptr<ReadingStore> store;
    JournalReader::load(path, &store);
    QCOMPARE(store->count(), qint64(2000));

    { // the journal grew: its cut line completed
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        const QByteArray line = JournalFormat::recordLine(17, *mixed(2001));
        file.write("1:59:58.250+01:00" + line.mid(line.indexOf(',', 3)));
    }
    JournalReader::load(path, &store);
    QCOMPARE(store->count(), qint64(2001));

    QVERIFY(QFile::resize(cache, QFileInfo(cache).size() - 4096)); // cut short
    JournalReader::load(path, &store);
    QCOMPARE(store->count(), qint64(2001));

    { // a damaged count, whose bytes would overflow to the file's size
        QFile file(cache);
        constexpr qint64 CountAt = 40;
        qint64 readings = 0;
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(CountAt));
        QCOMPARE(file.read(reinterpret_cast<char *>(&readings), 8), qint64(8));
        readings |= qint64(1) << 58;
        QVERIFY(file.seek(CountAt) && file.write(reinterpret_cast<const char *>(&readings), 8) == 8);
    }
    JournalReader::load(path, &store);
    QCOMPARE(store->count(), qint64(2001));

    QVERIFY(QFile::remove(cache));
    JournalReader::load(path, &store);
    QCOMPARE(store->count(), qint64(2001));
    QVERIFY(QFile::exists(cache));
    compareWithFullReader(path);
}

// Readings the disk has no room for stay in memory: the binary file, which
// lacks them, is neither sealed nor left behind.
void TestJournalLoad::diskTooFullForTheBinaryFile()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    QTemporaryDir dir;
    // Room for the journal, not for the file's tables and first chunk.
    if (::mount("dmmpanel-full", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=768k") != 0)
        QSKIP("no tmpfs could be mounted here");
    auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH); });
    const QString path = writeJournal(dir, 2000);
    compareWithFullReader(path);
    QVERIFY(!QFile::exists(ReadingCache::pathFor(path)));
}

// A journal that grows as it is read (another program still writes it):
// the readings read, and no binary file standing for the journal, which may
// have grown past them by the time the file would be sealed.
void TestJournalLoad::grownWhileRead()
{
    QTemporaryDir dir;
    const QString path = writeJournal(dir, 65536);
    std::shared_ptr<ReadingStore> store;
    JournalReader::load(path, &store, [&](qint64, qint64) {
        QFile file(path);
        return file.open(QIODevice::Append) && file.write("\n" + JournalFormat::recordLine(65537, *mixed(1))) > 0;
    });
    QVERIFY(store);
    QCOMPARE(store->count(), qint64(65537));
    QVERIFY(!QFile::exists(ReadingCache::pathFor(path)));
}

void TestJournalLoad::cancelled()
{
    QTemporaryDir dir;
    const QString path = writeJournal(dir, 70000);
    std::shared_ptr<ReadingStore> store;
    int asked = 0;
    const JournalLoad load = JournalReader::load(path, &store, [&](qint64 read, qint64 size) {
        ++asked;
        return read < size / 2 && read > 0;
    });
    QVERIFY(load.cancelled);
    QVERIFY(!store);
    QVERIFY(asked >= 1);
    QVERIFY(!QFile::exists(ReadingCache::pathFor(path)));
}

// A recording's readings go to the binary file as they come, and full chunks
// are read back from it; the file never stands for the journal it grows
// beside, which its next open reads and makes the file anew from.
void TestJournalLoad::liveReadingsKeptInTheFile()
{
    QTemporaryDir dir;
    const int count = int(2 * ReadingStore::ChunkSize + 100);
    const QString path = writeJournal(dir, count);
    ReadingStore live;
    QVERIFY(ReadingCache::keepLive(path, live));
    for (int n = 0; n < count; ++n)
        live.append(*mixed(n));
    QVERIFY(QFileInfo(ReadingCache::pathFor(path)).size() >= qint64(count) * qint64(sizeof(StoredReading)));
    for (int n = 0; n < count; n += 97)
        QCOMPARE(dump(*live.record(n)), dump(*mixed(n)));
    QCOMPARE(dump(*live.record(count - 1)), dump(*mixed(count - 1)));
    // A journal made anew under the same name: the readings kept so far
    // stay readable.
    QVERIFY(ReadingCache::keepLive(path, live));
    for (int n = count; n < count + int(ReadingStore::ChunkSize); ++n)
        live.append(*mixed(n));
    QCOMPARE(dump(*live.record(0)), dump(*mixed(0)));
    QCOMPARE(dump(*live.record(count + 1)), dump(*mixed(count + 1)));
    // That file lacks the readings kept before it: it never stands for a journal.
    QCOMPARE(live.readingsFile(), -1);
    QVERIFY(!ReadingCache::seal(path, live.readingsFile(), live.count(), ReadingCache::Lines()));
    compareWithFullReader(path);
}

// A recording's file, sealed once its journal ended as the window seals it,
// opens as the full reader reads the journal, also when the local time
// changed its offset from UTC during the recording.
void TestJournalLoad::recordingSealedAcrossAnOffsetChange()
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    auto restoreZone = qScopeGuard([&] { zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone); });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("recorded.csv"));
    QFile journal(path);
    QVERIFY(journal.open(QIODevice::WriteOnly));
    JournalHeader header;
    header.itemName = QStringLiteral("Long");
    journal.write(JournalFormat::headerText(header));
    ReadingStore live;
    QVERIFY(ReadingCache::keepLive(path, live));
    ReadingCache::Lines lines;
    const qint64 change = QDateTime::fromString(QStringLiteral("2026-03-29T01:00:00Z"), Qt::ISODate).toMSecsSinceEpoch();
    for (int n = -20; n < 20; ++n) {
        std::unique_ptr<DmmData> record = volts(n);
        record->time = QDateTime::fromMSecsSinceEpoch(change + n * 60000); // stamped in local time, as live readings are
        const qint64 line = journal.pos();
        journal.write(JournalFormat::recordLine(n + 21, *record));
        live.append(*record);
        lines.note(live, line);
    }
    journal.write(JournalFormat::closingLine(QDateTime::currentDateTime(), 40));
    journal.close();
    QVERIFY(ReadingCache::seal(path, live.readingsFile(), live.count(), lines));
    struct stat sealed;
    QCOMPARE(::stat(QFile::encodeName(ReadingCache::pathFor(path)).constData(), &sealed), 0);
    compareWithFullReader(path);
    struct stat used;
    QCOMPARE(::stat(QFile::encodeName(ReadingCache::pathFor(path)).constData(), &used), 0);
    QCOMPARE(used.st_ino, sealed.st_ino); // read from it, not made anew
}

QTEST_GUILESS_MAIN(TestJournalLoad)
#include "tst_journalload.moc"
