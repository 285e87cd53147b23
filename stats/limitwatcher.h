#pragma once

#include "linelimits.h"
#include "linereading.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <vector>

class DmmData;

// A display line's reading leaving its limits (raised) or coming back
// (cleared), with the limits it left.
struct AlarmEvent
{
    int line = 0; // 0 or 1
    bool raised = true;
    QDateTime time;
    LineReading reading;
    LineLimits limits;
    bool meterCompare = false; // the limits are the meter's own compare limits

    // "0.2 V outside 0 V to 0.1 V", "OL above 0.5 V"; for a cleared alarm the
    // value now.
    QString detailText() const;
    // The journal's "Alarm Line1: <ISO time>; 0.2 V outside 0 V to 0.1 V" and
    // "Alarm cleared Line1: <ISO time>".
    QString journalText() const;
    // {"alarm": {"line": 1, "time": ..., "value": ..., "low": ..., "high": ...}}
    // or {"alarmCleared": {...}}; a value without a number is null, with its status.
    QJsonObject json() const;
};

// Watches each display line's readings against its limits and against the
// meter's own compare limits (display line 1, when compare is on): an alarm
// is raised once when a reading leaves them (OL counts as above, Lo as
// below) and cleared once when a reading is back inside. A reading without
// a number changes nothing.
class LimitWatcher
{
public:
    void setLimits(int line, const LineLimits &limits);
    const LineLimits &limits(int line) const { return m_limits[line]; }
    bool inAlarm(int line) const { return m_inAlarm[line]; }

    // What this reading changed, in line order.
    std::vector<AlarmEvent> check(const DmmData &record);

private:
    LineLimits m_limits[2];
    bool m_inAlarm[2] = {false, false};
};
