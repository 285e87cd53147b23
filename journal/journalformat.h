#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class DmmData;

// What the comment lines above a journal's header row say about it.
struct JournalHeader
{
    QString program;  // the program that wrote it ("dmmpanel", "dmmlog")
    QString version;  // its version; empty means this build's
    QString resource; // the instrument's VISA resource name; empty when none
    bool simulated = false;
    QString itemName;
    QDateTime started;
    int sampleRateMs = 0;
    int samplePoints = 0;
    bool unlimited = true;
};

// The journal's CSV: UTF-8, RFC 4180 quoting, '.' decimals in any locale.
// `#` comment lines come first (the header), then one header row, then one
// line per reading; `#` lines may also mark gaps and the clean end.
namespace JournalFormat {

// The column titles of the header row, in order.
QList<QByteArray> columnTitles();

// The comment lines and the header row, each ended by a line feed.
QByteArray headerText(const JournalHeader &header);

// One reading as one line ended by a line feed. `number` counts readings from
// 1. A stored reading (no time of its own) leaves time and frequencies empty.
QByteArray recordLine(qint64 number, const DmmData &record);
// The same line appended to `out`, for many lines in one buffer.
void appendRecordLine(QByteArray &out, qint64 number, const DmmData &record);

// A `#` line; line breaks in `text` become blanks.
QByteArray commentLine(const QString &text);

// The last line of a journal closed as it should be.
QByteArray closingLine(const QDateTime &when, qint64 readings);

// True for a line (without its line feed) that closingLine wrote.
bool isClosingLine(const QByteArray &line);

// True for the first line of a header (without its line feed): the one
// naming the program that wrote the file.
bool isHeaderStart(const QByteArray &line);

// True for the header row (without its line feed; a carriage return may end it).
bool isHeaderRow(const QByteArray &line);

// True for a line that holds a reading: it starts with the reading's number.
bool isReadingLine(const QByteArray &line);

// Splits one line (without its line feed) into fields; false when a quote is
// left open.
bool splitLine(const QByteArray &line, QList<QByteArray> *fields);

// ISO 8601 with milliseconds and the offset from UTC.
QByteArray isoTime(const QDateTime &time);
void appendIsoTime(QByteArray &out, const QDateTime &time);

// Reads an ISO 8601 time as isoTime writes it (other ISO forms too, slower)
// into a time at the offset it gives: shown as it was written, without a
// time zone lookup per reading. Invalid when the text is no such time.
QDateTime readIsoTime(const QByteArray &text);

// The file name in `folder` for a journal of `itemName` started at `start`:
// the name made safe for a file name, the start time, ".csv". When it is
// taken the writer takes the next free one.
QString newJournalPath(const QString &folder, const QString &itemName, const QDateTime &start);

} // namespace JournalFormat
