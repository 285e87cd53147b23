#pragma once

#include "dmmdata.h"

#include <QString>

// What one display line of a reading shows, read once from the record.
struct LineReading
{
    bool present = false; // the line names a channel
    QString function;
    DmmData::ValueMode mode = DmmData::ValueNone;
    double value = 0.0; // in the function's base unit; meaningful for ValueNormal only
    QString valueText;
    QString unitText;

    static LineReading of(const DmmData &record, int line);

    bool isNumber() const { return present && mode == DmmData::ValueNormal; }
    // The value as plain text with its base unit ("0.2 V"), or the meter's
    // word for what it showed instead ("OL").
    QString plainText() const;
};
