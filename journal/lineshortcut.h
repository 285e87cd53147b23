#pragma once

#include <QByteArray>

class ReadingStore;
struct StoredReading;

// Most lines of a journal differ from the line before only in their numbers:
// time, values, frequencies and the digits of their texts. Such a line is
// read here straight into the store's compact form, without a record made
// and taken apart, which is what lets a long journal open at well over a
// million lines a second. Any other line (a new function, unit, state or
// time offset, a quoted field, a text in no form of digits) is left to the
// full reader; the line it appended is then followed.
class LineShortcut
{
public:
    explicit LineShortcut(ReadingStore *store);

    // Appends the line when it is like the last one followed; false when it
    // must be read the full way.
    bool append(const QByteArray &line);
    // The line the full reader just appended: later lines like it are read
    // here.
    void follow(const QByteArray &line);

private:
    bool parse(const QByteArray &line, StoredReading *own);
    bool readTime(const char *text, int size, qint64 *msecs);

    ReadingStore *store;
    QByteArray key; // what the line shares with its shape
    QByteArray followedKey;
    bool following = false;
    QByteArray day; // the date of the last time read, and its start
    qint64 dayMsecs = 0;
};
