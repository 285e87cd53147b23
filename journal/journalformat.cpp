#include "journalformat.h"

#include "dmmdata.h"
#include "engprefix.h"
#include "varnok.h"

#include <QDir>
#include <QFileInfo>

#include <limits>

#ifndef DMMPANEL_VERSION
#error DMMPANEL_VERSION must be defined by the build
#endif

namespace JournalFormat {

namespace {

const char ClosingPrefix[] = "# Closed: ";

// Quoted when it holds a comma, a quote or blanks at either end.
QByteArray fieldOf(const QByteArray &text)
{
    const bool needsQuotes = text.contains(',') || text.contains('"') || text.startsWith(' ')
                             || text.endsWith(' ');
    if (!needsQuotes)
        return text;
    QByteArray quoted = text;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QByteArray withoutLineBreaks(const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    utf8.replace('\r', ' ');
    utf8.replace('\n', ' ');
    return utf8;
}

void appendLine(QByteArray &out, const ChannelData *channel, int line)
{
    if (!channel) {
        out += ",,,,,,";
        return;
    }
    const int mode = channel->valueModes.value(line);
    out += ',';
    out += fieldOf(withoutLineBreaks(channel->functions.value(line)));
    out += ',';
    out += QByteArray::number(channel->number);
    out += ',';
    // The meter's sentinels are never numbers: no value, and its state beside.
    out += EngPrefix::plainNumber(mode == DmmData::ValueNormal ? channel->values.value(line)
                                                               : std::numeric_limits<double>::quiet_NaN());
    out += ',';
    out += Varnok::getValueStr(DmmData::ValueMode(mode)).toLatin1();
    out += ',';
    out += fieldOf(withoutLineBreaks(channel->valueTexts.value(line)));
    out += ',';
    out += fieldOf(withoutLineBreaks(channel->unitTexts.value(line)));
}

void appendFrequency(QByteArray &out, const ChannelData &channel, bool stored)
{
    out += ',';
    if (!stored) {
        const bool isValue = Varnok::getValueMode(channel.frequency) == DmmData::ValueNormal;
        out += EngPrefix::plainNumber(isValue ? channel.frequency : std::numeric_limits<double>::quiet_NaN());
        out += ',';
        out += fieldOf(withoutLineBreaks(channel.frequencyText));
        out += ',';
        out += fieldOf(withoutLineBreaks(channel.frequencyUnit));
    } else {
        out += ",,";
    }
    out += channel.floating ? ",True" : ",False";
}

} // namespace

QList<QByteArray> columnTitles()
{
    QList<QByteArray> titles{"No.", "Time"};
    for (const char *line : {"Line1", "Line2"}) {
        for (const char *column : {" Function", " CH", " Value", " Status", " Text", " Unit"})
            titles.append(QByteArray(line) + column);
    }
    for (const char *channel : {"CH1", "CH2"}) {
        for (const char *column : {" FREQ", " FREQ Text", " FREQ Unit", " Float"})
            titles.append(QByteArray(channel) + column);
    }
    return titles;
}

QByteArray headerText(const JournalHeader &header)
{
    const QString version = header.version.isEmpty() ? QStringLiteral(DMMPANEL_VERSION) : header.version;
    QByteArray out;
    out += commentLine(QStringLiteral("Program: %1 %2").arg(header.program, version));
    QString instrument = header.resource.isEmpty() ? QStringLiteral("none") : header.resource;
    if (header.simulated)
        instrument += QStringLiteral(" (simulated)");
    out += commentLine(QStringLiteral("Instrument: ") + instrument);
    out += commentLine(QStringLiteral("Item: ") + header.itemName);
    out += "# Started: " + isoTime(header.started) + '\n';
    out += commentLine(QStringLiteral("Sample rate: %1 ms").arg(header.sampleRateMs));
    out += commentLine(header.unlimited ? QStringLiteral("Sample points: unlimited")
                                        : QStringLiteral("Sample points: %1").arg(header.samplePoints));
    out += commentLine(QStringLiteral("Values in V, W or dB and frequencies in Hz; NaN where the meter gave no "
                                      "number (Status says why)"));
    out += columnTitles().join(',');
    out += '\n';
    return out;
}

QByteArray recordLine(qint64 number, const DmmData &record)
{
    QByteArray out;
    out.reserve(160);
    out += QByteArray::number(number);
    out += ',';
    if (!record.isStore)
        out += isoTime(record.time);
    for (int line = 0; line < 2; ++line)
        appendLine(out, record.lines.value(line) ? record.lines[line]->channel : nullptr, line);
    for (const ChannelData *channel : record.channels)
        appendFrequency(out, *channel, record.isStore);
    out += '\n';
    return out;
}

QByteArray commentLine(const QString &text)
{
    return "# " + withoutLineBreaks(text) + '\n';
}

QByteArray closingLine(const QDateTime &when, qint64 readings)
{
    return ClosingPrefix + isoTime(when) + "; " + QByteArray::number(readings) + " readings\n";
}

bool isClosingLine(const QByteArray &line)
{
    return line.startsWith(ClosingPrefix);
}

bool splitLine(const QByteArray &line, QList<QByteArray> *fields)
{
    fields->clear();
    QByteArray current;
    bool quoted = false;
    bool wasQuoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const char c = line.at(i);
        if (quoted) {
            if (c != '"') {
                current += c;
            } else if (i + 1 < line.size() && line.at(i + 1) == '"') {
                current += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == ',') {
            fields->append(current);
            current.clear();
            wasQuoted = false;
        } else if (c == '"' && current.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c != '\r' || i + 1 != line.size()) {
            current += c;
        }
    }
    fields->append(current);
    return !quoted;
}

QByteArray isoTime(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1();
}

QString newJournalPath(const QString &folder, const QString &itemName, const QDateTime &start)
{
    QString safe;
    for (const QChar c : itemName.trimmed())
        safe += (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')) ? c : QLatin1Char('_');
    if (safe.isEmpty())
        safe = QStringLiteral("item");
    const QString stem = QDir(folder).filePath(safe.left(64) + QLatin1Char('_')
                                               + start.toString(QStringLiteral("yyyyMMdd-hhmmss")));
    QString path = stem + QStringLiteral(".csv");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1-%2.csv").arg(stem).arg(n);
    return path;
}

} // namespace JournalFormat
