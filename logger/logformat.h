#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class DmmData;

// How the log spells what it holds; every text ends with a line feed.
class LogFormat
{
public:
    virtual ~LogFormat() = default;
    // Before the first reading.
    virtual QByteArray opening() const = 0;
    // One reading; `number` counts from 1.
    virtual QByteArray reading(qint64 number, const DmmData &record) const = 0;
    // A note between readings, such as a gap in the link.
    virtual QByteArray note(const QString &text) const = 0;
    // After the last reading, when the log ends as it should.
    virtual QByteArray closing(const QDateTime &when, qint64 readings) const = 0;
};
