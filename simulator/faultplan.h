#pragma once

#include <optional>
#include <string_view>

namespace dmmsim {

// Faults to inject, as listed in DMMPANEL_SIMULATOR_FAULTS:
// "silent-after=N,local-after=N,unplug-after=N,stored=N", and "crlf" for
// answers that end in CR LF. "silent-for=N" (ms) and "replug-after=N" (ms)
// bring the meter back from the silence and the unplug they go with.
// "swell-after=N" doubles CH1's level after N commands, "swell-for=N" brings
// it back N commands later: a reading that leaves its limits and returns.
struct FaultPlan
{
    std::optional<int> silentAfter;
    std::optional<int> localAfter;
    std::optional<int> unplugAfter;
    std::optional<int> stored;
    std::optional<int> silentForMs;
    std::optional<int> replugAfterMs;
    std::optional<int> swellAfter;
    std::optional<int> swellFor;
    bool crlf = false;

    // Null for an unknown or repeated name, a count that is not a whole number
    // >= 0, or a way back without the fault it ends.
    static std::optional<FaultPlan> parse(std::string_view list);
};

} // namespace dmmsim
