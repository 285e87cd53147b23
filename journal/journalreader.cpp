#include "journalreader.h"

#include "dmmdata.h"
#include "lineshortcut.h"
#include "readingcache.h"
#include "readingstore.h"
#include "engprefix.h"
#include "varnok.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace JournalReader {

namespace {

constexpr int LineFields = 22;

// The lines of a file, read in pieces: the file is never held whole, so a
// journal of any size is read in a few MiB of memory.
class LineStream
{
public:
    explicit LineStream(QFile &file) : file(file), buffer(size_t(4) << 20) {}

    // The next line ended by a line feed, without it; false at the end.
    bool next(QByteArray *line)
    {
        const char *text = nullptr;
        int size = 0;
        if (!next(&text, &size))
            return false;
        *line = QByteArray(text, size);
        return true;
    }

    // The same without a copy: valid until the next call.
    bool next(const char **text, int *size)
    {
        for (;;) {
            const void *feed = std::memchr(buffer.data() + start, '\n', end - start);
            if (feed) {
                const size_t at = size_t(static_cast<const char *>(feed) - buffer.data());
                *text = buffer.data() + start;
                *size = int(at - start);
                consumed += qint64(at + 1 - start);
                start = at + 1;
                return true;
            }
            if (atEnd || !refill()) {
                tornTail = start < end;
                return false;
            }
        }
    }

    // Bytes up to the end of the last line handed out.
    qint64 position() const { return consumed; }
    // What follows the last line feed: a line a crash cut short.
    bool endsTorn() const { return tornTail; }

private:
    bool refill()
    {
        std::memmove(buffer.data(), buffer.data() + start, end - start);
        end -= start;
        start = 0;
        if (end == buffer.size())
            buffer.resize(buffer.size() * 2); // a line longer than the buffer
        const qint64 got = file.read(buffer.data() + end, qint64(buffer.size() - end));
        if (got <= 0) {
            atEnd = true;
            return false;
        }
        end += size_t(got);
        return true;
    }

    QFile &file;
    std::vector<char> buffer;
    size_t start = 0;
    size_t end = 0;
    qint64 consumed = 0;
    bool atEnd = false;
    bool tornTail = false;
};

void readComment(const QByteArray &line, JournalHeader *header)
{
    const QString text = QString::fromUtf8(line.mid(2));
    auto valueOf = [&](const QString &key) { return text.mid(key.size()); };
    if (text.startsWith(QLatin1String("Item: ")))
        header->itemName = valueOf(QStringLiteral("Item: "));
    else if (text.startsWith(QLatin1String("Started: ")))
        header->started = JournalFormat::readIsoTime(valueOf(QStringLiteral("Started: ")).toLatin1());
    else if (text.startsWith(QLatin1String("Instrument: "))) {
        QString resource = valueOf(QStringLiteral("Instrument: "));
        header->simulated = resource.endsWith(QLatin1String(" (simulated)"));
        if (header->simulated)
            resource.chop(12);
        header->resource = resource;
    } else if (text.startsWith(QLatin1String("Program: "))) {
        const QStringList words = valueOf(QStringLiteral("Program: ")).split(QLatin1Char(' '));
        header->program = words.value(0);
        header->version = words.value(1);
    } else if (text.startsWith(QLatin1String("Sample rate: "))) {
        header->sampleRateMs = valueOf(QStringLiteral("Sample rate: ")).section(QLatin1Char(' '), 0, 0).toInt();
    } else if (text.startsWith(QLatin1String("Sample points: "))) {
        const QString points = valueOf(QStringLiteral("Sample points: "));
        header->unlimited = points == QLatin1String("unlimited");
        header->samplePoints = header->unlimited ? 0 : points.toInt();
    }
}

int modeOf(const QByteArray &status)
{
    for (int mode : {DmmData::ValueLow, DmmData::ValueOverload, DmmData::ValueNone}) {
        if (status == Varnok::getValueStr(DmmData::ValueMode(mode)).toLatin1())
            return mode;
    }
    return status.isEmpty() ? DmmData::ValueNormal : -1;
}

bool readLine(const QList<QByteArray> &fields, int line, DmmData *record)
{
    const int at = 2 + 6 * line;
    bool ok = false;
    const int number = fields[at + 1].toInt(&ok);
    const std::optional<double> value = EngPrefix::readPlainNumber(fields[at + 2]);
    const int mode = modeOf(fields[at + 3]);
    if (!ok || (number != 1 && number != 2) || !value || mode < 0)
        return false;
    ChannelData *channel = record->channels[number - 1];
    record->lines[line]->channel = channel;
    channel->functions[line] = QString::fromUtf8(fields[at]);
    // As the driver keeps them: a reading without a number is 0 beside its state.
    channel->values[line] = mode == DmmData::ValueNormal ? *value : 0;
    channel->valueModes[line] = mode;
    channel->valueTexts[line] = QString::fromUtf8(fields[at + 4]);
    channel->unitTexts[line] = QString::fromUtf8(fields[at + 5]);
    return true;
}

// A frequency written as NaN was one of the meter's sentinels, which the
// text beside it names ("OL", "Lo", "-----"); any other NaN stays NaN.
double sentinelOf(const QString &frequencyText)
{
    for (const double sentinel : {DmmData::LowSentinel, DmmData::OverloadSentinel, DmmData::NoneSentinel}) {
        if (frequencyText == Varnok::getValueStr(Varnok::getValueMode(sentinel)))
            return sentinel;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

bool readChannel(const QList<QByteArray> &fields, int index, DmmData *record)
{
    const int at = 14 + 4 * index;
    ChannelData *channel = record->channels[index];
    channel->floating = fields[at + 3] == "True";
    if (record->isStore)
        return true;
    const std::optional<double> frequency = EngPrefix::readPlainNumber(fields[at]);
    if (!frequency)
        return false;
    channel->frequencyText = QString::fromUtf8(fields[at + 1]);
    channel->frequency = std::isnan(*frequency) ? sentinelOf(channel->frequencyText) : *frequency;
    channel->frequencyUnit = QString::fromUtf8(fields[at + 2]);
    return true;
}

std::unique_ptr<DmmData> recordOf(const QByteArray &line)
{
    QList<QByteArray> fields;
    if (!JournalFormat::splitLine(line, &fields) || fields.size() != LineFields)
        return nullptr;
    bool ok = false;
    fields[0].toLongLong(&ok);
    if (!ok)
        return nullptr;
    auto record = std::make_unique<DmmData>();
    record->isStore = fields[1].isEmpty();
    if (!record->isStore) {
        record->time = JournalFormat::readIsoTime(fields[1]);
        if (!record->time.isValid())
            return nullptr;
    }
    if (!readLine(fields, 0, record.get()) || !readLine(fields, 1, record.get()) || !readChannel(fields, 0, record.get())
        || !readChannel(fields, 1, record.get()))
        return nullptr;
    return record;
}

QDateTime timeOf(const QByteArray &line)
{
    QList<QByteArray> fields;
    JournalFormat::splitLine(line, &fields);
    return JournalFormat::readIsoTime(fields.value(1));
}

QString notOurs(const QString &path)
{
    return QObject::tr("%1 is no table this program wrote.").arg(QFileInfo(path).fileName());
}

// Reads the journal line by line: its comments into the header, each
// reading line to `reading`, which says whether it was a whole reading.
// `goOn` hears the bytes read so far and the file's size after each reading
// line and ends the reading (cancelled) when it returns false.
JournalLoad readLines(const QString &path, const std::function<bool(const QByteArray &, qint64 offset)> &reading,
                      const std::function<bool(qint64, qint64)> &goOn = {})
{
    JournalLoad load;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        load.error = file.errorString();
        return load;
    }
    const qint64 size = file.size();
    LineStream lines(file);
    bool headerSeen = false;
    QByteArray line;
    qint64 offset = 0;
    for (; lines.next(&line); offset = lines.position()) {
        if (line.startsWith('#')) {
            readComment(line, &load.header);
            load.closed = JournalFormat::isClosingLine(line);
        } else if (!headerSeen) {
            if (!JournalFormat::isHeaderRow(line)) {
                load.error = notOurs(path);
                return load;
            }
            headerSeen = true;
        } else {
            if (reading(line, offset))
                load.closed = false;
            else
                ++load.skippedLines;
            if (goOn && !goOn(lines.position(), size)) {
                load.cancelled = true;
                return load;
            }
        }
    }
    if (!headerSeen)
        load.error = notOurs(path);
    load.skippedLines += lines.endsTorn() ? 1 : 0;
    return load;
}

// The header of a journal whose readings come from elsewhere: the comments
// above its header row, and whether its last line closes it.
JournalLoad readHead(const QString &path)
{
    JournalLoad load;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        load.error = file.errorString();
        return load;
    }
    {
        LineStream lines(file);
        QByteArray line;
        while (lines.next(&line) && line.startsWith('#'))
            readComment(line, &load.header);
    }
    // The closing line is the last whole line, and short.
    file.seek(qMax<qint64>(0, file.size() - 4096));
    QByteArray tail = file.readAll();
    tail.truncate(qMax(0, tail.lastIndexOf('\n')));
    load.closed = JournalFormat::isClosingLine(tail.mid(tail.lastIndexOf('\n') + 1));
    return load;
}

} // namespace

JournalContents read(const QString &path)
{
    JournalContents contents;
    JournalLoad load = readLines(path, [&](const QByteArray &line, qint64) {
        if (std::unique_ptr<DmmData> record = recordOf(line)) {
            contents.records.push_back(std::move(record));
            return true;
        }
        return false;
    });
    contents.header = load.header;
    contents.closed = load.closed;
    contents.skippedLines = load.skippedLines;
    contents.error = load.error;
    return contents;
}

JournalLoad load(const QString &path, std::shared_ptr<ReadingStore> *store, const Progress &progress,
                 const std::function<void()> &whenRead)
{
    QFile journal(path);
    const auto lineAt = [&journal](qint64 offset) -> std::unique_ptr<DmmData> {
        if (!journal.isOpen() && !journal.open(QIODevice::ReadOnly))
            return nullptr;
        if (!journal.seek(offset))
            return nullptr;
        QByteArray line = journal.readLine();
        if (!line.endsWith('\n'))
            return nullptr;
        line.chop(1);
        return recordOf(line);
    };
    int skipped = 0;
    if ((*store = ReadingCache::open(path, lineAt, &skipped))) {
        JournalLoad load = readHead(path);
        load.skippedLines = skipped;
        if (whenRead)
            whenRead();
        return load;
    }

    // Read straight into the binary file beside it, so that a journal of
    // any length is read in bounded memory.
    auto read = std::make_shared<ReadingStore>();
    ReadingCache::keepLive(path, *read);
    LineShortcut shortcut(read.get());
    ReadingCache::Lines lines;
    // A journal another program still writes may grow after its end was
    // read: the file then must not stand for it. One closed by `whenRead`
    // changes on purpose, and is taken as it is then.
    if (!whenRead)
        lines.journalSize = QFileInfo(path).size();
    qint64 readingLines = 0;
    JournalLoad load = readLines(
        path,
        [&](const QByteArray &line, qint64 offset) {
            if (shortcut.append(line))
                return true;
            std::unique_ptr<DmmData> record = recordOf(line);
            if (!record)
                return false;
            read->append(*record);
            lines.note(*read, offset);
            shortcut.follow(line);
            return true;
        },
        [&](qint64 done, qint64 size) { return !progress || ++readingLines % 65536 != 0 || progress(done, size); });
    if (!load.error.isEmpty() || load.cancelled) {
        QFile::remove(ReadingCache::pathFor(path));
        return load;
    }
    lines.skipped = load.skippedLines;
    if (whenRead)
        whenRead();
    // Opened as any later open opens it: a reading appended to the item
    // afterwards goes to memory, never into the file.
    if (ReadingCache::seal(path, read->readingsFile(), read->count(), lines))
        *store = ReadingCache::open(path, lineAt, &skipped);
    else // a file lacking readings (a full disk) only takes room
        QFile::remove(ReadingCache::pathFor(path));
    if (!*store)
        *store = std::move(read);
    return load;
}

JournalSummary summarize(const QString &path, const Progress &progress)
{
    JournalSummary summary;
    summary.path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        summary.error = file.errorString();
        return summary;
    }
    LineStream lines(file);
    JournalHeader header;
    QByteArray line;
    QByteArray last;
    const qint64 size = file.size();
    while (lines.next(&line)) {
        if (line.startsWith('#')) {
            readComment(line, &header);
        } else if (JournalFormat::isReadingLine(line)) {
            if (++summary.readings == 1)
                summary.first = timeOf(line);
            last = line;
            if (progress && summary.readings % 65536 == 0 && !progress(lines.position(), size)) {
                summary.error = QObject::tr("Reading %1 was cancelled.").arg(QFileInfo(path).fileName());
                return summary;
            }
        }
    }
    summary.itemName = header.itemName;
    if (summary.readings > 0)
        summary.last = timeOf(last);
    return summary;
}

std::unique_ptr<DmmData> readingOf(const QByteArray &line)
{
    return recordOf(line);
}

void readHeaderComment(const QByteArray &line, JournalHeader *header)
{
    readComment(line, header);
}

} // namespace JournalReader
