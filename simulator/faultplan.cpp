#include "faultplan.h"

#include "numberformat.h"

#include <array>
#include <utility>

namespace dmmsim {

std::optional<FaultPlan> FaultPlan::parse(std::string_view list)
{
    FaultPlan plan;
    const std::array<std::pair<std::string_view, std::optional<int> FaultPlan::*>, 8> names{{
        {"silent-after", &FaultPlan::silentAfter},
        {"local-after", &FaultPlan::localAfter},
        {"unplug-after", &FaultPlan::unplugAfter},
        {"stored", &FaultPlan::stored},
        {"silent-for", &FaultPlan::silentForMs},
        {"replug-after", &FaultPlan::replugAfterMs},
        {"swell-after", &FaultPlan::swellAfter},
        {"swell-for", &FaultPlan::swellFor},
    }};
    while (!trimmed(list).empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view item = trimmed(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);

        if (item == "crlf" && !plan.crlf) {
            plan.crlf = true;
            continue;
        }
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        const std::string_view name = trimmed(item.substr(0, equals));
        const auto count = parseInteger(item.substr(equals + 1));
        if (!count || *count < 0)
            return std::nullopt;
        bool known = false;
        for (const auto &[text, field] : names) {
            if (text == name && !(plan.*field)) {
                plan.*field = *count;
                known = true;
            }
        }
        if (!known)
            return std::nullopt;
    }
    if ((plan.silentForMs && !plan.silentAfter) || (plan.replugAfterMs && !plan.unplugAfter)
        || (plan.swellFor && !plan.swellAfter))
        return std::nullopt;
    return plan;
}

} // namespace dmmsim
