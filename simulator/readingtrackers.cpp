#include "readingtrackers.h"

#include "measurement.h"

#include <algorithm>
#include <cmath>

namespace dmmsim {

void HoldTracker::restart()
{
    *this = HoldTracker();
}

bool HoldTracker::isEmpty() const
{
    return !runStart && !held;
}

void HoldTracker::feed(double reading, double windowPercent, int count)
{
    const bool agrees = runStart && !isSentinel(reading) && !isSentinel(*runStart)
                        && std::fabs(reading - *runStart) <= std::fabs(*runStart) * windowPercent / 100.0;
    if (agrees) {
        ++runLength;
    } else {
        runStart = reading;
        runLength = 1;
    }
    if (runLength >= count && !isSentinel(reading))
        held = reading;
}

std::optional<double> HoldTracker::heldReading() const
{
    return held;
}

void MaxMinTracker::restart()
{
    *this = MaxMinTracker();
}

bool MaxMinTracker::isEmpty() const
{
    return !highest;
}

void MaxMinTracker::feed(double reading)
{
    if (reading == Sentinel::None)
        return;
    highest = highest ? std::max(*highest, reading) : reading;
    lowest = lowest ? std::min(*lowest, reading) : reading;
}

double MaxMinTracker::maximum() const
{
    return highest.value_or(Sentinel::None);
}

double MaxMinTracker::minimum() const
{
    return lowest.value_or(Sentinel::None);
}

} // namespace dmmsim
