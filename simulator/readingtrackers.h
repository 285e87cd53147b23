#pragma once

#include <optional>

namespace dmmsim {

// HOLD: the shown reading freezes once `count` successive readings agree
// within `windowPercent` of the first of them, and follows the next such run.
class HoldTracker
{
public:
    void restart();
    bool isEmpty() const;
    void feed(double reading, double windowPercent, int count);
    std::optional<double> heldReading() const;

private:
    std::optional<double> runStart;
    int runLength = 0;
    std::optional<double> held;
};

// MAX/MIN of the readings fed since the last restart; overload and
// under-range readings count as the extremes they stand for.
class MaxMinTracker
{
public:
    void restart();
    bool isEmpty() const;
    void feed(double reading);
    double maximum() const; // the no-value sentinel while empty
    double minimum() const;

private:
    std::optional<double> highest;
    std::optional<double> lowest;
};

} // namespace dmmsim
