#pragma once

#include <optional>
#include <string_view>

namespace dmmsim {

// Faults to inject, as listed in DMMPANEL_SIMULATOR_FAULTS:
// "silent-after=N,local-after=N,unplug-after=N,stored=N", and "crlf" for
// answers that end in CR LF. "silent-for=N" (ms) and "replug-after=N" (ms)
// bring the meter back from the silence and the unplug they go with.
struct FaultPlan
{
    std::optional<int> silentAfter;
    std::optional<int> localAfter;
    std::optional<int> unplugAfter;
    std::optional<int> stored;
    std::optional<int> silentForMs;
    std::optional<int> replugAfterMs;
    bool crlf = false;

    // Null for an unknown or repeated name, a count that is not a whole number
    // >= 0, or a way back without the fault it ends.
    static std::optional<FaultPlan> parse(std::string_view list);
};

} // namespace dmmsim
