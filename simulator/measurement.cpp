#include "measurement.h"

#include "numberformat.h"

#include <array>
#include <cmath>

namespace dmmsim {

namespace {

struct FunctionInfo
{
    Function function;
    std::string_view name;
    std::string_view storedUnit;
};

constexpr std::array<FunctionInfo, 8> functionTable{{
    {Function::Volt, "VOLT", "V"},
    {Function::Vpp, "VPP", "VPP"},
    {Function::Watt, "WATT", "W"},
    {Function::Db, "DB", "DB"},
    {Function::Dbm, "DBM", "DBM"},
    {Function::Dbuv, "DBUV", "DBUV"},
    {Function::Dbmv, "DBMV", "DBMV"},
    {Function::Dbv, "DBV", "DBV"},
}};

const FunctionInfo &infoOf(Function function)
{
    return functionTable[static_cast<std::size_t>(function)];
}

// The range sent is a shade below the range shown: "3.7mV" selects the 3.8 mV range.
constexpr std::array<VoltageRange, RangeCount> rangeTable{{
    {"3.8mV", "3.7mV", 3.8e-3},
    {"38mV", "37mV", 38e-3},
    {"380mV", "370mV", 380e-3},
    {"3.8V", "3.7V", 3.8},
    {"38V", "37V", 38.0},
    {"380V", "370V", 380.0},
}};

// Below this share of full scale the converter no longer resolves the signal.
constexpr double resolvableShare = 1e-3;

double decibels(double ratio)
{
    return 20.0 * std::log10(ratio);
}

double functionValue(Function function, double rms, const LineReferences &references)
{
    switch (function) {
    case Function::Volt:
        return rms;
    case Function::Vpp:
        return 2.0 * std::sqrt(2.0) * rms; // peak-to-peak of a sine
    case Function::Watt:
        return rms * rms / references.dbmOhms;
    case Function::Db:
        return decibels(rms / references.dbVolts);
    case Function::Dbm:
        return 10.0 * std::log10(rms * rms / references.dbmOhms / 1e-3);
    case Function::Dbuv:
        return decibels(rms / 1e-6);
    case Function::Dbmv:
        return decibels(rms / 1e-3);
    case Function::Dbv:
        return decibels(rms);
    }
    return Sentinel::None;
}

} // namespace

std::optional<Function> functionNamed(std::string_view name)
{
    const std::string upper = upperCase(name);
    for (const FunctionInfo &info : functionTable) {
        if (info.name == upper)
            return info.function;
    }
    return std::nullopt;
}

std::string_view functionName(Function function)
{
    return infoOf(function).name;
}

std::string_view storedUnit(Function function)
{
    return infoOf(function).storedUnit;
}

bool isDecibel(Function function)
{
    return function != Function::Volt && function != Function::Vpp && function != Function::Watt;
}

bool isSentinel(double reading)
{
    return reading == Sentinel::Overload || reading == Sentinel::Low || reading == Sentinel::None;
}

const VoltageRange &voltageRange(int index)
{
    return rangeTable.at(static_cast<std::size_t>(index));
}

std::optional<int> rangeForSetText(std::string_view text)
{
    for (int i = 0; i < RangeCount; ++i) {
        if (rangeTable[static_cast<std::size_t>(i)].setText == text)
            return i;
    }
    return std::nullopt;
}

int autoRangeFor(double rms)
{
    for (int i = 0; i < RangeCount; ++i) {
        if (rms <= rangeTable[static_cast<std::size_t>(i)].fullScale)
            return i;
    }
    return RangeCount - 1;
}

double lineReading(Function function, double rms, const VoltageRange &range, const LineReferences &references)
{
    if (rms > range.fullScale)
        return Sentinel::Overload;
    if (rms <= 0.0 && isDecibel(function))
        return Sentinel::None;
    if (rms < range.fullScale * resolvableShare)
        return Sentinel::Low;
    return functionValue(function, rms, references);
}

double frequencyReading(double rms, double frequency, const VoltageRange &range)
{
    if (frequency <= 0.0 || rms < range.fullScale * resolvableShare)
        return Sentinel::None;
    return frequency;
}

} // namespace dmmsim
