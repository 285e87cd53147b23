#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dmmsim {

// One program message line: header nodes, whether it is a query, and the
// parameter text after the header.
class ScpiMessage
{
public:
    static std::optional<ScpiMessage> parse(std::string_view line);

    bool isQuery() const { return query; }
    const std::string &parameters() const { return parameterText; }

    // Matches a header pattern such as "VOLTage:RANGe:CH#": each node in its
    // short (upper-case part) or long form, in any letter case; "#" stands
    // for a numeric suffix, 1 or 2, stored in `suffix`.
    bool matches(std::string_view pattern, int &suffix) const;

private:
    std::vector<std::string> nodes; // upper-cased
    bool query = false;
    std::string parameterText;
};

} // namespace dmmsim
