#pragma once

#include <optional>
#include <string_view>

namespace dmmsim {

// What a display line shows of its channel's signal.
enum class Function { Volt, Vpp, Watt, Db, Dbm, Dbuv, Dbmv, Dbv };

std::optional<Function> functionNamed(std::string_view name); // any letter case
std::string_view functionName(Function function);             // "VOLT", "DBUV", ...
std::string_view storedUnit(Function function);               // unit text in a stored record
bool isDecibel(Function function);

// Readings the meter sends in place of a number.
namespace Sentinel {
inline constexpr double Overload = 9.9e37; // above full scale
inline constexpr double Low = -9.9e37;     // below what the range resolves
inline constexpr double None = 9.91e37;    // no such value (dB or frequency of no signal)
} // namespace Sentinel

bool isSentinel(double reading);

// One voltage range of a channel: the text the meter answers (and the
// panel shows), the text its range command takes, and its full scale.
struct VoltageRange
{
    std::string_view shownText;
    std::string_view setText;
    double fullScale; // volts rms
};

inline constexpr int RangeCount = 6;
const VoltageRange &voltageRange(int index);
std::optional<int> rangeForSetText(std::string_view text);
// Smallest range whose full scale holds `rms`; the largest when none does.
int autoRangeFor(double rms);

struct LineReferences
{
    double dbVolts = 1.0;    // 0 dB of the DB function
    double dbmOhms = 600.0; // load of the WATT and DBM functions
};

// Reading of one display line in base units (V, W, dB), or a sentinel.
double lineReading(Function function, double rms, const VoltageRange &range, const LineReferences &references);
// Input frequency in Hz, or the no-value sentinel when there is nothing to count.
double frequencyReading(double rms, double frequency, const VoltageRange &range);

} // namespace dmmsim
