#pragma once

#include "limitwatcher.h"
#include "stopcondition.h"

#include <QList>
#include <QString>

#include <vector>

// What a front end watches in each reading: the lines' limits, and the
// conditions that end a recording.
class ReadingWatch
{
public:
    struct Verdict
    {
        std::vector<AlarmEvent> alarms; // raised or cleared by the reading
        QString stopReason;             // "LINE1<3.2 met by 3.19 V"; empty: go on
    };

    LimitWatcher &limits() { return m_limits; }
    const LimitWatcher &limits() const { return m_limits; }
    // Any one met ends the recording.
    void setStopConditions(const QList<StopCondition> &conditions) { m_stopConditions = conditions; }
    const QList<StopCondition> &stopConditions() const { return m_stopConditions; }

    Verdict check(const DmmData &record);
    // "LINE1<3.2 met by 3.19 V" for the first condition the reading meets; empty for none.
    QString stopReason(const DmmData &record) const;

private:
    LimitWatcher m_limits;
    QList<StopCondition> m_stopConditions;
};
