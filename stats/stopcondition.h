#pragma once

#include <QString>

#include <optional>

class DmmData;

// "LINE1<3.2" or "LINE2>0.5": a recording ends after the first reading of
// the display line beyond the value (plain SI number). OL counts as above
// every value, Lo as below; a reading without a number meets nothing.
struct StopCondition
{
    int line = 0; // 0 or 1
    bool below = true;
    double threshold = 0.0;

    // Case and blanks do not matter; null for anything else.
    static std::optional<StopCondition> parse(const QString &text);
    QString text() const;
    bool isMetBy(const DmmData &record) const;
};
