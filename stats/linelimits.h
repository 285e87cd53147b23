#pragma once

#include <QString>

#include <optional>
#include <utility>

// The lower and upper limit of one display line, in its base unit; either
// may be absent, and with neither the line has no limits.
struct LineLimits
{
    std::optional<double> low;
    std::optional<double> high;

    bool isSet() const { return low || high; }
    bool operator==(const LineLimits &other) const { return low == other.low && high == other.high; }

    // "LO:HI" with either side empty (":0.5", "0.1:"); plain numbers. Null
    // for anything else, for no side at all and for LO above HI.
    static std::optional<LineLimits> parse(const QString &text);
    // "LINEn=LO:HI" (n 1 or 2, any case): the line (0 or 1) and its limits.
    static std::optional<std::pair<int, LineLimits>> parseForLine(const QString &text);
    // Back in the form parse() reads.
    QString text() const;
    // What a reading beyond them was outside of: "0 V to 0.1 V", "above 0.1 V"
    // is phrased by the caller; this gives "0 V to 0.1 V", "0.1 V" or "0 V".
    QString rangeText(const QString &unit) const;
};
