#include "journalreader.h"

#include "dmmdata.h"
#include "engprefix.h"
#include "varnok.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>

namespace JournalReader {

namespace {

constexpr int LineFields = 22;

// The lines of a file that end with a line feed, without it; what follows
// the last line feed is a line a crash cut short.
struct Lines
{
    QList<QByteArray> whole;
    bool tornTail = false;
};

Lines linesOf(const QByteArray &bytes)
{
    Lines lines;
    int start = 0;
    for (int end = bytes.indexOf('\n'); end >= 0; end = bytes.indexOf('\n', start)) {
        lines.whole.append(bytes.mid(start, end - start));
        start = end + 1;
    }
    lines.tornTail = start < bytes.size();
    return lines;
}

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

QByteArray contentsOf(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return QByteArray();
    }
    return file.readAll();
}

} // namespace

JournalContents read(const QString &path)
{
    JournalContents contents;
    const QByteArray bytes = contentsOf(path, &contents.error);
    if (!contents.error.isEmpty())
        return contents;
    const Lines lines = linesOf(bytes);
    bool headerSeen = false;
    for (const QByteArray &line : lines.whole) {
        if (line.startsWith('#')) {
            readComment(line, &contents.header);
            contents.closed = JournalFormat::isClosingLine(line);
        } else if (!headerSeen) {
            if (!JournalFormat::isHeaderRow(line)) {
                contents.error = QObject::tr("%1 is no table this program wrote.").arg(QFileInfo(path).fileName());
                return contents;
            }
            headerSeen = true;
        } else if (std::unique_ptr<DmmData> record = recordOf(line)) {
            contents.records.push_back(std::move(record));
            contents.closed = false;
        } else {
            ++contents.skippedLines;
        }
    }
    if (!headerSeen)
        contents.error = QObject::tr("%1 is no table this program wrote.").arg(QFileInfo(path).fileName());
    contents.skippedLines += lines.tornTail ? 1 : 0;
    return contents;
}

JournalSummary summarize(const QString &path)
{
    JournalSummary summary;
    summary.path = path;
    const Lines lines = linesOf(contentsOf(path, &summary.error));
    JournalHeader header;
    const QByteArray *first = nullptr;
    const QByteArray *last = nullptr;
    for (const QByteArray &line : lines.whole) {
        if (line.startsWith('#')) {
            readComment(line, &header);
        } else if (JournalFormat::isReadingLine(line)) {
            ++summary.readings;
            first = first ? first : &line;
            last = &line;
        }
    }
    summary.itemName = header.itemName;
    if (first) {
        summary.first = timeOf(*first);
        summary.last = timeOf(*last);
    }
    return summary;
}

} // namespace JournalReader
