#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dmmsim {

// One number of a stored record with the unit the meter writes right after it.
struct StoredField
{
    double value = 0.0;
    std::string unit; // "V", "VPP", "W", "DB", "DBM", "DBUV", "DBMV", "DBV", "Hz"
};

// A reading kept in the meter's memory: the flags word describes the meter's
// state when it was stored (bit 0 LINE1 on CH1, 1 LINE2 on CH1, 2/3 CH1/CH2
// floating, 4 LINE1's channel auto-ranging, 5 REL, 6 MAX/MIN, 7 HOLD,
// 8-9 compare result, 10-11 rate, 12-13 trigger source).
struct StoredRecord
{
    unsigned flags = 0;
    StoredField line1;
    StoredField line2;
    std::optional<StoredField> maximum; // present while MAX/MIN is on
    std::optional<StoredField> minimum;
};

// "4113,1.2345E-01V,5.0000E+01Hz,0,0": five significant digits, and "0" for
// MAX and MIN when they were not recorded.
std::string formatStoredRecord(const StoredRecord &record);

// The meter's reading memory; records are numbered from 1.
class ReadingMemory
{
public:
    static constexpr int Capacity = 1000;

    bool store(StoredRecord record); // false when full
    bool remove(int number);         // later records move up; false when there is no such record
    void clear();
    int count() const;
    const StoredRecord *record(int number) const; // null when there is no such record

private:
    std::vector<StoredRecord> records;
};

} // namespace dmmsim
