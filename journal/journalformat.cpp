#include "journalformat.h"

#include "dmmdata.h"
#include "engprefix.h"
#include "varnok.h"

#include <QDir>

#include <charconv>
#include <iterator>

#include <cstdio>
#include <cstdlib>
#include <limits>

#ifndef DMMPANEL_VERSION
#error DMMPANEL_VERSION must be defined by the build
#endif

namespace JournalFormat {

namespace {

const char ClosingPrefix[] = "# Closed: ";
const char ProgramPrefix[] = "# Program: ";

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

// What fieldOf(withoutLineBreaks(text)) gives. Most texts are short and
// printable ASCII that needs no quotes: those are copied as they are.
void appendField(QByteArray &out, const QString &text)
{
    const QChar *chars = text.constData();
    const int size = text.size();
    bool plain = size == 0 || (chars[0] != QLatin1Char(' ') && chars[size - 1] != QLatin1Char(' '));
    for (int i = 0; plain && i < size; ++i) {
        const ushort c = chars[i].unicode();
        plain = c >= 0x20 && c < 0x7f && c != ',' && c != '"';
    }
    if (!plain) {
        out += fieldOf(withoutLineBreaks(text));
        return;
    }
    const int at = out.size();
    out.resize(at + size);
    char *to = out.data() + at;
    for (int i = 0; i < size; ++i)
        to[i] = char(chars[i].unicode());
}

void appendInteger(QByteArray &out, qint64 n)
{
    char digits[24];
    const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, n);
    out.append(digits, int(written.ptr - digits));
}

// The driver's text for a state, as Latin-1, asked once per state.
const QByteArray &statusText(int mode)
{
    static const QByteArray texts[] = {
        Varnok::getValueStr(DmmData::ValueNormal).toLatin1(), Varnok::getValueStr(DmmData::ValueLow).toLatin1(),
        Varnok::getValueStr(DmmData::ValueOverload).toLatin1(), Varnok::getValueStr(DmmData::ValueNone).toLatin1()};
    static const QByteArray none;
    return mode >= 0 && mode < int(std::size(texts)) ? texts[mode] : none;
}

void appendLine(QByteArray &out, const ChannelData *channel, int line)
{
    if (!channel) {
        out += ",,,,,,";
        return;
    }
    const int mode = channel->valueModes.value(line);
    out += ',';
    appendField(out, channel->functions.value(line));
    out += ',';
    appendInteger(out, channel->number);
    out += ',';
    // The meter's sentinels are never numbers: no value, and its state beside.
    out += EngPrefix::plainNumber(mode == DmmData::ValueNormal ? channel->values.value(line)
                                                               : std::numeric_limits<double>::quiet_NaN());
    out += ',';
    out += statusText(mode);
    out += ',';
    appendField(out, channel->valueTexts.value(line));
    out += ',';
    appendField(out, channel->unitTexts.value(line));
}

void appendFrequency(QByteArray &out, const ChannelData &channel, bool stored)
{
    out += ',';
    if (!stored) {
        const bool isValue = Varnok::getValueMode(channel.frequency) == DmmData::ValueNormal;
        out += EngPrefix::plainNumber(isValue ? channel.frequency : std::numeric_limits<double>::quiet_NaN());
        out += ',';
        appendField(out, channel.frequencyText);
        out += ',';
        appendField(out, channel.frequencyUnit);
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
    out += ProgramPrefix + withoutLineBreaks(QStringLiteral("%1 %2").arg(header.program, version)) + '\n';
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
    appendRecordLine(out, number, record);
    return out;
}

void appendRecordLine(QByteArray &out, qint64 number, const DmmData &record)
{
    appendInteger(out, number);
    out += ',';
    if (!record.isStore)
        appendIsoTime(out, record.time);
    for (int line = 0; line < 2; ++line)
        appendLine(out, record.lines.value(line) ? record.lines[line]->channel : nullptr, line);
    for (const ChannelData *channel : record.channels)
        appendFrequency(out, *channel, record.isStore);
    out += '\n';
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

bool isHeaderStart(const QByteArray &line)
{
    return line.startsWith(ProgramPrefix);
}

bool isHeaderRow(const QByteArray &line)
{
    static const QByteArray row = columnTitles().join(',');
    return line == row || line == row + '\r';
}

bool isReadingLine(const QByteArray &line)
{
    return !line.isEmpty() && line.at(0) >= '0' && line.at(0) <= '9';
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

namespace {

// The offset from UTC of a local time. Asking the time zone costs a file
// lookup each time; offsets change only at quarter hours, so one answer
// serves a quarter of an hour of wall-clock time (with the daylight-saving
// flag, which tells the twice-run hour of the autumn change apart).
int localOffsetOf(const QDateTime &time)
{
    constexpr int QuarterHourMs = 15 * 60 * 1000;
    struct Key
    {
        qint64 day;
        int quarter;
        bool daylight;
        bool operator==(const Key &other) const
        {
            return day == other.day && quarter == other.quarter && daylight == other.daylight;
        }
    };
    thread_local Key cachedKey{std::numeric_limits<qint64>::min(), 0, false};
    thread_local int cachedOffset = 0;
    const Key key{time.date().toJulianDay(), time.time().msecsSinceStartOfDay() / QuarterHourMs, time.isDaylightTime()};
    if (!(key == cachedKey)) {
        cachedOffset = time.offsetFromUtc();
        cachedKey = key;
    }
    return cachedOffset;
}

// `value` in at least `width` characters, zeros before its digits (and a
// minus sign, counted in the width, before them).
char *writePadded(char *at, int value, int width)
{
    if (value < 0) {
        *at++ = '-';
        --width;
    }
    unsigned rest = value < 0 ? 0u - unsigned(value) : unsigned(value);
    char digits[12];
    int count = 0;
    do {
        digits[count++] = char('0' + rest % 10);
        rest /= 10;
    } while (rest > 0);
    for (int i = count; i < width; ++i)
        *at++ = '0';
    while (count > 0)
        *at++ = digits[--count];
    return at;
}

} // namespace

QByteArray isoTime(const QDateTime &time)
{
    QByteArray out;
    appendIsoTime(out, time);
    return out;
}

void appendIsoTime(QByteArray &out, const QDateTime &time)
{
    if (!time.isValid())
        return;
    const int offset = time.timeSpec() == Qt::LocalTime ? localOffsetOf(time) : time.offsetFromUtc();
    const QDate date = time.date();
    const QTime clock = time.time();
    const int minutes = std::abs(offset) / 60;
    char text[64];
    char *at = writePadded(text, date.year(), 4);
    *at++ = '-';
    at = writePadded(at, date.month(), 2);
    *at++ = '-';
    at = writePadded(at, date.day(), 2);
    *at++ = 'T';
    at = writePadded(at, clock.hour(), 2);
    *at++ = ':';
    at = writePadded(at, clock.minute(), 2);
    *at++ = ':';
    at = writePadded(at, clock.second(), 2);
    *at++ = '.';
    at = writePadded(at, clock.msec(), 3);
    *at++ = offset < 0 ? '-' : '+';
    at = writePadded(at, minutes / 60, 2);
    *at++ = ':';
    at = writePadded(at, minutes % 60, 2);
    out.append(text, int(at - text));
}

QDateTime readIsoTime(const QByteArray &text)
{
    int year, month, day, hour, minute, second, msec, offsetHours, offsetMinutes;
    char sign;
    int used = 0;
    // YYYY-MM-DDThh:mm:ss.zzz+hh:mm, all digits where digits belong.
    const bool ours = text.size() == 29
                      && std::sscanf(text.constData(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%2d:%2d%n", &year, &month, &day,
                                     &hour, &minute, &second, &msec, &sign, &offsetHours, &offsetMinutes, &used)
                             == 10
                      && used == 29 && (sign == '+' || sign == '-');
    if (!ours)
        return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
    const int offset = (sign == '-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec), Qt::OffsetFromUTC, offset);
}

QString newJournalPath(const QString &folder, const QString &itemName, const QDateTime &start)
{
    QString safe;
    for (const QChar c : itemName.trimmed())
        safe += (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')) ? c : QLatin1Char('_');
    if (safe.isEmpty())
        safe = QStringLiteral("item");
    return QDir(folder).filePath(safe.left(64) + QLatin1Char('_') + start.toString(QStringLiteral("yyyyMMdd-hhmmss"))
                                 + QStringLiteral(".csv"));
}

} // namespace JournalFormat
