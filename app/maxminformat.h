#pragma once

#include <QString>

struct LineData;

struct MaxMinText
{
    QString value;
    QString unit;
};

// A MAX or MIN reading of the meter as the display shows it, in the function
// and range of display line 1 (`line` is the record's first line): volts in
// the range's unit, watts with an engineering prefix, dB with 3 decimals, and
// Lo/OL/----- for the sentinels.
MaxMinText formatMaxMin(double value, const LineData &line);
