#pragma once

#include "digittext.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>

#include <memory>

class DmmData;
struct StoredReading;

// The meter's changing numbers that are no reading: the percent reading and
// the MAX/MIN pair. They change now and then, not with every reading, and are
// kept apart from both the shape and the readings.
struct MeterNumbers
{
    double percent = 0;
    double max = 0;
    double min = 0;

    bool operator==(const MeterNumbers &o) const { return percent == o.percent && max == o.max && min == o.min; }
    bool operator!=(const MeterNumbers &o) const { return !(*this == o); }
};

// What a reading shares with the readings around it: functions, channels,
// units, ranges, the form of its texts, the settings of REL, HOLD, percent,
// MAX/MIN and compare, rate, trigger source and the kind of its time. A
// reading is split into its shape, its own part (StoredReading) and its meter
// numbers, and joined back from them into an equal record.
class ReadingShape
{
public:
    // A slot whose text is kept aside, numbered as aside texts are.
    enum TextSlot { Line1Value, Line2Value, Channel1Frequency, Channel2Frequency, TextSlots };

    ReadingShape(ReadingShape &&) noexcept;
    ReadingShape &operator=(ReadingShape &&) noexcept;
    ~ReadingShape();

    // `own` receives the reading's own part (not its shape number), `aside`
    // the texts of slots whose form is Aside.
    static ReadingShape split(const DmmData &reading, StoredReading *own, MeterNumbers *numbers,
                              QString aside[TextSlots]);

    // Joined back; the texts kept aside are filled in by the caller.
    std::unique_ptr<DmmData> join(const StoredReading &own, const MeterNumbers &numbers) const;
    // Another reading of this shape into `record`, joined from it before:
    // all but a local time (a time zone lookup, left to the caller) and the
    // texts kept aside.
    void refill(DmmData *record, const StoredReading &own, const MeterNumbers &numbers) const;
    void setAsideText(DmmData *record, int slot, const QString &text) const;

    TextForm form(int slot) const { return forms[slot]; }
    // The function display line `line` shows; empty when it names no channel.
    QString function(int line) const;
    bool keepsTextAside() const;
    // Whether the readings are stamped in local time (as live readings are).
    bool hasLocalTime() const { return timed && timeSpec == Qt::LocalTime; }
    // Equal for equal shapes: the key of the shape dictionary.
    const QByteArray &key() const { return bytes; }

private:
    ReadingShape();
    QString *textOf(DmmData *record, int slot) const;
    QDateTime timeAt(qint64 msecs) const;

    std::unique_ptr<DmmData> fixed; // the reading with its own part cleared
    TextForm forms[TextSlots];
    bool timed = false;
    Qt::TimeSpec timeSpec = Qt::LocalTime;
    int offsetFromUtc = 0;
    QTimeZone zone;
    QByteArray bytes;
};
