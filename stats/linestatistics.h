#pragma once

#include "moments.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

class DmmData;

// Running statistics of a run of readings, one set per display line and
// function, for the lines that close a journal or a log. Readings with a
// status (OL, Lo) or without a number are counted apart, not in the moments.
class LineStatistics
{
public:
    struct Entry
    {
        int line = 0; // 0 or 1
        QString function;
        Moments moments;
        qint64 leftOut = 0;
    };

    void add(const DmmData &record);
    const std::vector<Entry> &entries() const { return m_entries; }
    // The entry of the line's most recent function; null before its first reading.
    const Entry *latest(int line) const;

    // "Statistics Line1 VOLT: n=40 mean=0.123001 sd=2.1e-05 min=0.12295 max=0.12305",
    // one per entry: plain SI numbers with the six significant digits of the
    // meter's readings (the journal's Value column).
    QStringList journalTexts() const;
    // {"line1": {"function": ..., "n": ..., "mean": ..., "sd": ..., "min": ..., "max": ...}, ...}
    // with the most recent function of each line.
    QJsonObject json() const;

private:
    std::vector<Entry> m_entries;
    int m_latest[2] = {-1, -1};
};
