// The journal's file: readings written and read back alike, a line cut by a
// crash, an outside CSV reader in any locale, and disks that refuse writes.
#include "dmmdata.h"
#include "journalreader.h"
#include "journalrecovery.h"
#include "journalwriter.h"
#include "readingstore.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <ctime>
#include <thread>

#include <unistd.h>

namespace {

std::unique_ptr<DmmData> reading(int i, int mode1 = DmmData::ValueNormal, bool stored = false)
{
    auto record = std::make_unique<DmmData>();
    record->lines[0]->channel = record->channels[0];
    record->lines[1]->channel = record->channels[1];
    record->isStore = stored;
    if (!stored)
        record->time = QDateTime(QDate(2026, 12, 7), QTime(9, 30, 5, 123)).addMSecs(i * 250);
    ChannelData &ch1 = *record->channels[0];
    ChannelData &ch2 = *record->channels[1];
    ch1.functions[0] = QStringLiteral("VOLT");
    ch1.values[0] = mode1 == DmmData::ValueNormal ? 0.012345678901234 * (i + 1) : 0;
    ch1.valueModes[0] = mode1;
    ch1.valueTexts[0] = mode1 == DmmData::ValueNormal ? QString::number(12.345 * (i + 1), 'f', 3) : QStringLiteral("  OL ");
    ch1.unitTexts[0] = QStringLiteral("mV");
    ch2.functions[1] = QStringLiteral("DBM");
    ch2.values[1] = -3.25 - i;
    ch2.valueTexts[1] = QString::number(-3.25 - i, 'f', 2);
    ch2.unitTexts[1] = QStringLiteral("dBm");
    ch1.frequency = 1000.5;
    ch1.frequencyText = QStringLiteral("1.00");
    ch1.frequencyUnit = QStringLiteral("kHz");
    // The meter's three sentinels in turn, as the driver keeps them beside their texts.
    const double sentinels[] = {DmmData::OverloadSentinel, DmmData::LowSentinel, DmmData::NoneSentinel};
    ch2.frequency = sentinels[i % 3];
    ch2.frequencyText = QStringList{"OL", "Lo", "-----"}[i % 3];
    ch2.frequencyUnit = QStringLiteral("Hz");
    ch2.floating = true;
    return record;
}

// What the table, the chart and the exports take from a reading.
QStringList shownOf(const DmmData &r)
{
    // The wall-clock time shown, and the moment it stands for.
    QStringList shown{r.isStore ? QString()
                                : r.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) + QString::number(r.time.toMSecsSinceEpoch())};
    for (int line = 0; line < 2; ++line) {
        const ChannelData &c = *r.lines[line]->channel;
        shown << c.functions[line] << QString::number(c.number) << QString::number(c.values[line], 'g', 17)
              << QString::number(c.valueModes[line]) << c.valueTexts[line] << c.unitTexts[line];
    }
    // A stored reading has no frequencies; the values themselves go to exports.
    for (const ChannelData *c : r.channels)
        shown << (r.isStore ? QString() : c->frequencyText + c->frequencyUnit + ' ' + QString::number(c->frequency, 'g', 17))
              << QString::number(c->floating);
    return shown;
}

JournalHeader header(const QString &item)
{
    JournalHeader h;
    h.program = QStringLiteral("tst_journal");
    h.resource = QStringLiteral("USB0::0x28E9::0x0285::KM4473N-SIM::INSTR");
    h.simulated = true;
    h.itemName = item;
    h.started = QDateTime(QDate(2026, 12, 7), QTime(9, 30, 5));
    h.sampleRateMs = 250;
    return h;
}

bool isRoot()
{
    return ::geteuid() == 0;
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void readWhileRecording();
    void clockChange();
    void sharedName();
    void tornLastLine_data();
    void tornLastLine();
    void foreignFiles_data();
    void foreignFiles();
    void outsideReader_data();
    void outsideReader();
    void refusedWrites_data();
    void refusedWrites();
};

void TestJournal::roundTrip_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("stored");
    QTest::newRow("readings") << "Measure1" << int(DmmData::ValueNormal) << false;
    QTest::newRow("overload") << "Measure1" << int(DmmData::ValueOverload) << false;
    QTest::newRow("low") << "Measure1" << int(DmmData::ValueLow) << false;
    QTest::newRow("stored readings") << "Store Data(3)" << int(DmmData::ValueNormal) << true;
    QTest::newRow("name with comma, quote, µ") << "a, \"b\" µ" << int(DmmData::ValueNormal) << false;
}

void TestJournal::roundTrip()
{
    QFETCH(QString, item);
    QFETCH(int, mode);
    QFETCH(bool, stored);
    QTemporaryDir dir;
    const QString path = JournalFormat::newJournalPath(dir.filePath(QStringLiteral("journal")), item,
                                                       header(item).started);
    std::vector<std::unique_ptr<DmmData>> written;
    {
        JournalWriter writer(path, header(item));
        QSignalSpy failed(&writer, &JournalWriter::failed);
        for (int i = 0; i < 3; ++i) {
            written.push_back(reading(i, i == 1 ? mode : int(DmmData::ValueNormal), stored));
            writer.append(*written.back());
        }
        writer.appendComment(QStringLiteral("Link lost: a comment between readings"));
        written.push_back(reading(3, DmmData::ValueNormal, stored));
        writer.append(*written.back());
        QVERIFY(JournalRecovery::unclosedJournals(dir.filePath(QStringLiteral("journal"))).isEmpty()); // in use
        QVERIFY(!JournalRecovery::closeAfterCrash(JournalReader::summarize(writer.path())));
        QCOMPARE(failed.count(), 0);
    }
    QCOMPARE(JournalRecovery::unclosedJournals(dir.filePath(QStringLiteral("journal"))), QStringList());

    const JournalContents contents = JournalReader::read(path);
    QVERIFY2(contents.error.isEmpty(), qPrintable(contents.error));
    QVERIFY(contents.closed);
    QCOMPARE(contents.skippedLines, 0);
    QCOMPARE(contents.header.itemName, item);
    QCOMPARE(contents.header.started, header(item).started);
    QVERIFY(contents.header.simulated);
    QCOMPARE(int(contents.records.size()), int(written.size()));
    for (size_t i = 0; i < written.size(); ++i)
        QCOMPARE(shownOf(*contents.records[i]), shownOf(*written[i]));
    const JournalSummary summary = JournalReader::summarize(path);
    QCOMPARE(summary.readings, qint64(written.size()));
    QCOMPARE(summary.itemName, item);
    QCOMPARE(summary.last, written.back()->time);
}

// The window reads a journal into a store on a thread of its own, showing
// its progress, while its recording goes on into another journal; the store
// is the window's afterwards.
void TestJournal::readWhileRecording()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("earlier.csv"));
    std::vector<std::unique_ptr<DmmData>> written;
    {
        JournalWriter writer(path, header(QStringLiteral("Measure1")));
        for (int i = 0; i < 300; ++i) {
            written.push_back(reading(i, i % 7 ? int(DmmData::ValueNormal) : int(DmmData::ValueOverload)));
            writer.append(*written.back());
        }
    }
    std::shared_ptr<ReadingStore> store;
    std::atomic<qint64> progress{0};
    std::atomic<bool> read{false};
    std::thread reader([&] {
        JournalReader::load(path, &store, [&](qint64 done, qint64) {
            progress = done;
            return true;
        });
        read = true;
    });
    JournalWriter recording(dir.filePath(QStringLiteral("live.csv")), header(QStringLiteral("Measure2")));
    int kept = 0;
    qint64 shown = 0;
    for (; !read || kept < 100; ++kept) {
        recording.append(*reading(kept));
        QVERIFY(progress >= shown);
        shown = progress;
    }
    reader.join();
    recording.close();
    QVERIFY(store);
    QCOMPARE(store->count(), qint64(written.size()));
    for (size_t i = 0; i < written.size(); ++i)
        QCOMPARE(shownOf(*store->record(qint64(i))), shownOf(*written[i]));
    QCOMPARE(JournalReader::summarize(recording.path()).readings, qint64(kept));
}

// The hour the clocks go back runs twice: each reading keeps its own offset.
void TestJournal::clockChange()
{
    const QByteArray savedZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    ::tzset();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("autumn.csv"));
    // 02:10 and 02:50 summer time, then 02:55 (the same quarter hour of the
    // clock, an hour later) and 03:05 winter time.
    const qint64 midnightUtc = QDateTime(QDate(2026, 10, 25), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    const qint64 minutes[] = {10, 50, 115, 125};
    std::vector<std::unique_ptr<DmmData>> written;
    {
        JournalWriter writer(path, header(QStringLiteral("Measure1")));
        for (int i = 0; i < 4; ++i) {
            written.push_back(reading(i));
            written.back()->time = QDateTime::fromMSecsSinceEpoch(midnightUtc + minutes[i] * 60000);
            writer.append(*written.back());
        }
    }
    const JournalContents contents = JournalReader::read(path);
    if (savedZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedZone);
    ::tzset();
    QCOMPARE(int(contents.records.size()), 4);
    const QStringList offsets{"+02:00", "+02:00", "+01:00", "+01:00"};
    const QStringList clock{"02:10", "02:50", "02:55", "03:05"};
    for (int i = 0; i < 4; ++i) {
        const QDateTime &time = contents.records[size_t(i)]->time;
        QCOMPARE(time.toMSecsSinceEpoch(), midnightUtc + minutes[i] * 60000);
        QCOMPARE(time.toString(QStringLiteral("hh:mm")), clock[i]);
        QVERIFY(QString::fromLatin1(JournalFormat::isoTime(time)).endsWith(offsets[i]));
    }
}

// Two programs start a recording of the same item in the same second.
void TestJournal::sharedName()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Measure1_20261207-093005.csv"));
    JournalWriter first(path, header(QStringLiteral("Measure1")));
    JournalWriter second(path, header(QStringLiteral("Measure1")));
    for (int i = 0; i < 4; ++i)
        (i % 2 ? second : first).append(*reading(i));
    QCOMPARE(first.path(), path);
    QVERIFY(second.path() != path);
    QVERIFY(JournalRecovery::unclosedJournals(dir.path()).isEmpty());
    first.close();
    second.close();
    for (const JournalWriter *writer : {&first, &second}) {
        const JournalContents contents = JournalReader::read(writer->path());
        QCOMPARE(int(contents.records.size()), 2);
        QCOMPARE(contents.records[1]->time, reading(writer == &first ? 2 : 3)->time);
    }
}

void TestJournal::tornLastLine_data()
{
    QTest::addColumn<int>("cut");
    QTest::addColumn<QByteArray>("tail");
    // Bytes cut off the end of the file, the last line feed included, and
    // what took their place.
    QTest::newRow("line feed only") << 1 << QByteArray();
    QTest::newRow("within the unit") << 2 << QByteArray();
    QTest::newRow("within the time") << 100 << QByteArray();
    QTest::newRow("torn line longer than 4 KiB") << 100 << QByteArray(10000, '7');
    QTest::newRow("zeros a power cut left") << 50 << QByteArray(70000, '\0');
}

void TestJournal::tornLastLine()
{
    QFETCH(int, cut);
    QFETCH(QByteArray, tail);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("torn.csv"));
    std::vector<std::unique_ptr<DmmData>> written;
    {
        JournalWriter writer(path, header(QStringLiteral("Measure1")));
        for (int i = 0; i < 5; ++i) {
            written.push_back(reading(i));
            writer.append(*written.back());
        }
    }
    // The file as a crash inside the last write leaves it: no closing line,
    // the last line cut short.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray bytes = file.readAll();
    QVERIFY(file.resize(bytes.lastIndexOf("# Closed") - cut));
    QVERIFY(file.seek(file.size()) && file.write(tail) == tail.size());
    file.close();

    QCOMPARE(JournalRecovery::unclosedJournals(dir.path()), QStringList{path});
    JournalContents contents = JournalReader::read(path);
    QCOMPARE(int(contents.records.size()), 4);
    QCOMPARE(contents.skippedLines, 1);
    QVERIFY(!contents.closed);
    const JournalSummary summary = JournalReader::summarize(path);
    QCOMPARE(summary.readings, qint64(4));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(shownOf(*contents.records[size_t(i)]), shownOf(*written[size_t(i)]));

    QVERIFY(JournalRecovery::closeAfterCrash(summary));
    QCOMPARE(JournalRecovery::unclosedJournals(dir.path()), QStringList());
    contents = JournalReader::read(path);
    QCOMPARE(int(contents.records.size()), 4);
    QCOMPARE(contents.skippedLines, 0);
    QCOMPARE(contents.header.itemName, QStringLiteral("Measure1"));
    QVERIFY(contents.closed);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray closed = file.readAll();
    file.close();
    QVERIFY(closed.endsWith(" 4 readings\n"));
    // Closed once: a second close leaves it as it is.
    QVERIFY(JournalRecovery::closeAfterCrash(summary));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), closed);
}

void TestJournal::foreignFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray noise(10240, '\0');
    quint32 state = 28;
    for (char &byte : noise) {
        state = state * 1664525u + 1013904223u;
        byte = char(state >> 24);
    }
    QTest::newRow("plain table") << QByteArray("a,b\n1,2\n3,");
    QTest::newRow("random bytes") << noise;
    QTest::newRow("our columns, no header") << JournalFormat::columnTitles().join(',') + "\n1,";
    QByteArray unfinished = JournalFormat::headerText(header(QStringLiteral("Measure1")));
    unfinished.chop(40);
    QTest::newRow("header cut short") << unfinished;
}

// Files in the journal folder that no writer of journals made: never
// offered, never changed.
void TestJournal::foreignFiles()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("foreign.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    QCOMPARE(JournalRecovery::unclosedJournals(dir.path()), QStringList());
    QVERIFY(!JournalRecovery::closeAfterCrash(JournalReader::summarize(path)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

void TestJournal::outsideReader_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("C") << "C";
    QTest::newRow("German") << "de_DE";
}

void TestJournal::outsideReader()
{
    QFETCH(QString, locale);
    const QLocale saved;
    QLocale::setDefault(QLocale(locale));
    std::setlocale(LC_ALL, (locale + QStringLiteral(".UTF-8")).toLatin1().constData());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("outside.csv"));
    std::vector<std::unique_ptr<DmmData>> written;
    {
        JournalWriter writer(path, header(QStringLiteral("Measure 1, \"µ\"")));
        for (int i = 0; i < 3; ++i) {
            written.push_back(reading(i, i == 2 ? int(DmmData::ValueOverload) : int(DmmData::ValueNormal)));
            writer.append(*written.back());
        }
    }
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(saved);

    const char *script = R"(
import csv, datetime, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = [r for r in csv.reader(f) if r and not r[0].startswith('#')]
print(','.join(rows[0]))
for r in rows[1:]:
    t = datetime.datetime.fromisoformat(r[1])
    print(r[0], round(t.timestamp() * 1000), '%.17g' % float(r[4]), r[5], r[6], '%.17g' % float(r[10]),
          '%.17g' % float(r[14]), r[15], sep='|')
)";
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    QVERIFY(python.waitForFinished(30000));
    QCOMPARE(python.exitCode(), 0);
    const QList<QByteArray> lines = python.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], JournalFormat::columnTitles().join(','));
    for (int i = 0; i < 3; ++i) {
        const DmmData &r = *written[size_t(i)];
        const ChannelData &c1 = *r.channels[0];
        const bool overload = c1.valueModes[0] == DmmData::ValueOverload;
        const QByteArray expected = QByteArray::number(i + 1) + '|' + QByteArray::number(r.time.toMSecsSinceEpoch())
                                    + '|' + (overload ? QByteArray("nan") : QByteArray::number(c1.values[0], 'g', 17))
                                    + '|' + (overload ? "OL" : "") + '|' + c1.valueTexts[0].toUtf8() + '|'
                                    + QByteArray::number(r.channels[1]->values[1], 'g', 17) + "|1000.5|1.00";
        QCOMPARE(lines[i + 1], expected);
    }
}

void TestJournal::refusedWrites_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::newRow("disk full") << "full";
    QTest::newRow("disk full from the start") << "full from the start";
    QTest::newRow("read-only folder") << "read-only";
    QTest::newRow("file removed") << "file removed";
    QTest::newRow("folder removed") << "folder removed";
}

namespace {

// The readings a journal holds and those its `#` lines name as not written,
// by number.
QList<qint64> accountedFor(const QByteArray &journal)
{
    QList<qint64> numbers;
    const QByteArray notWritten = "# Not written: readings ";
    for (const QByteArray &line : journal.split('\n')) {
        if (JournalFormat::isReadingLine(line)) {
            numbers << line.left(line.indexOf(',')).toLongLong();
        } else if (line.startsWith(notWritten)) {
            const QList<QByteArray> words = line.mid(notWritten.size()).split(' ');
            for (qint64 n = words.value(0).toLongLong(); n <= words.value(2).toLongLong(); ++n)
                numbers << n;
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

} // namespace

// Readings go on arriving while the disk refuses them; the writer says so
// once, says once that it writes again, and the file holds only whole lines.
void TestJournal::refusedWrites()
{
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(mountPoint));
    const bool removal = refusal.endsWith(QLatin1String("removed"));
    const bool mounted = !removal && isRoot();
    const bool full = refusal.startsWith(QLatin1String("full"));
    if (full && !isRoot())
        QSKIP("a full disk needs a small tmpfs, and mounting one needs root (CI runs as root)");
    if (mounted && !run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                  QStringLiteral("size=64k"), QStringLiteral("tmpfs"), mountPoint}))
        QSKIP("mounting a tmpfs was refused here");
    auto unmount = qScopeGuard([&] {
        if (mounted)
            run(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint});
    });
    const QString folder = mountPoint + QStringLiteral("/journal");
    const QString path = folder + QStringLiteral("/refused.csv");
    const QString filler = mountPoint + QStringLiteral("/filler");
    auto refuse = [&](bool on) {
        if (full) {
            if (!on)
                return QFile::remove(filler);
            QFile fill(filler);
            const QByteArray block(512, 'x');
            if (!fill.open(QIODevice::WriteOnly))
                return false;
            while (fill.write(block) == block.size() && fill.flush()) {
            }
            return true;
        }
        if (refusal == QLatin1String("file removed"))
            return !on || QFile::remove(path);
        if (refusal == QLatin1String("folder removed"))
            return !on || QDir(folder).removeRecursively();
        if (mounted)
            return run(QStringLiteral("mount"), {QStringLiteral("-o"), on ? QStringLiteral("remount,ro") : QStringLiteral("remount,rw"), mountPoint});
        return QFile::setPermissions(folder, on ? QFile::ReadOwner | QFile::ExeOwner
                                                : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };

    std::vector<std::unique_ptr<DmmData>> written;
    JournalWriter writer(path, header(QStringLiteral("Measure1")));
    QSignalSpy failed(&writer, &JournalWriter::failed);
    QSignalSpy recovered(&writer, &JournalWriter::recovered);
    QSignalSpy created(&writer, &JournalWriter::fileCreated);
    auto appendOne = [&] {
        written.push_back(reading(int(written.size())));
        writer.append(*written.back());
    };
    // A folder is made read-only before anything in it is open for writing.
    const bool fromStart = refusal == QLatin1String("read-only") || refusal.endsWith(QLatin1String("the start"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(!fromStart || refuse(true));
    for (int i = 0; i < 3; ++i)
        appendOne();
    QVERIFY(fromStart || refuse(true));
    // Refused for more than one retry: still one message.
    QTRY_VERIFY_WITH_TIMEOUT((appendOne(), failed.count() == 1), 10000);
    for (int i = 0; i < 15; ++i) {
        QTest::qWait(100);
        appendOne();
    }
    QCOMPARE(failed.count(), 1);
    // Failing or not, the file stays the writer's: no other program takes it for a crashed one.
    QCOMPARE(JournalRecovery::unclosedJournals(folder), QStringList());
    QVERIFY(refuse(false));
    QTRY_VERIFY_WITH_TIMEOUT((appendOne(), recovered.count() == 1), 10000);
    for (int i = 0; i < 3; ++i)
        appendOne();
    writer.close();
    QCOMPARE(failed.count(), 1);
    QCOMPARE(recovered.count(), 1);
    QVERIFY2(failed.first().first().toString().contains(path), qPrintable(failed.first().first().toString()));
    // A file made anew is announced, so that whoever follows the journal reads on there.
    QCOMPARE(created.count(), removal ? 2 : 1);
    QCOMPARE(created.last().first().toString(), path);

    const JournalContents contents = JournalReader::read(path);
    QVERIFY2(contents.error.isEmpty(), qPrintable(contents.error));
    QCOMPARE(contents.skippedLines, 0);
    QCOMPARE(contents.header.itemName, QStringLiteral("Measure1"));
    QVERIFY(contents.closed);
    QVERIFY(contents.records.size() < written.size());
    // What is there is whole and in order; the last readings are all there.
    size_t at = 0;
    for (const std::unique_ptr<DmmData> &record : contents.records) {
        while (at < written.size() && written[at]->time != record->time)
            ++at;
        QVERIFY(at < written.size());
        QCOMPARE(shownOf(*record), shownOf(*written[at]));
    }
    QCOMPARE(contents.records.back()->time, written.back()->time);
    // Every reading is either in the file or named missing, once, whatever
    // happened to the file; the closing line counts what is in it.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray journal = file.readAll();
    QList<qint64> expected;
    for (qint64 n = 1; n <= qint64(written.size()); ++n)
        expected << n;
    QCOMPARE(accountedFor(journal), expected);
    QVERIFY(journal.endsWith(" " + QByteArray::number(qint64(contents.records.size())) + " readings\n"));
    if (removal) // the new file starts by naming what went with the old one
        QVERIFY(journal.contains(JournalFormat::columnTitles().join(',') + "\n# Not written: readings 1 to "));
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
