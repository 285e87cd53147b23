#pragma once

#include <optional>
#include <string_view>

namespace dmmsim {

// Faults to inject, as listed in DMMPANEL_SIMULATOR_FAULTS:
// "silent-after=N,local-after=N,unplug-after=N,stored=N", and "crlf" for
// answers that end in CR LF.
struct FaultPlan
{
    std::optional<int> silentAfter;
    std::optional<int> localAfter;
    std::optional<int> unplugAfter;
    std::optional<int> stored;
    bool crlf = false;

    // Null for an unknown or repeated name, or a count that is not a whole number >= 0.
    static std::optional<FaultPlan> parse(std::string_view list);
};

} // namespace dmmsim
