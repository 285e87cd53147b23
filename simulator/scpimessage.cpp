#include "scpimessage.h"

#include "numberformat.h"

#include <cctype>

namespace dmmsim {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool matchesNode(std::string_view node, std::string_view pattern, int &suffix)
{
    const bool wantsSuffix = !pattern.empty() && pattern.back() == '#';
    if (wantsSuffix)
        pattern.remove_suffix(1);

    std::size_t digitsAt = node.size();
    while (digitsAt > 0 && isDigit(node[digitsAt - 1]))
        --digitsAt;
    const std::string_view digits = node.substr(digitsAt);
    const std::string_view word = node.substr(0, digitsAt);
    if (wantsSuffix) {
        const auto number = parseInteger(digits);
        if (!number || (*number != 1 && *number != 2))
            return false;
        suffix = *number;
    } else if (!digits.empty()) {
        return false;
    }

    std::size_t shortLength = 0;
    while (shortLength < pattern.size() && !std::islower(static_cast<unsigned char>(pattern[shortLength])))
        ++shortLength;
    return word == upperCase(pattern) || word == upperCase(pattern.substr(0, shortLength));
}

} // namespace

std::optional<ScpiMessage> ScpiMessage::parse(std::string_view line)
{
    line = trimmed(line);
    std::size_t headerEnd = 0;
    while (headerEnd < line.size() && line[headerEnd] != ' ' && line[headerEnd] != '\t')
        ++headerEnd;
    std::string_view header = line.substr(0, headerEnd);

    ScpiMessage message;
    message.parameterText = std::string(trimmed(line.substr(headerEnd)));
    if (!header.empty() && header.back() == '?') {
        message.query = true;
        header.remove_suffix(1);
    }
    if (!header.empty() && header.front() == ':')
        header.remove_prefix(1);
    for (std::string_view node : split(header, ':')) {
        if (node.empty())
            return std::nullopt;
        message.nodes.push_back(upperCase(node));
    }
    return message;
}

bool ScpiMessage::matches(std::string_view pattern, int &suffix) const
{
    const std::vector<std::string_view> patternNodes = split(pattern, ':');
    if (patternNodes.size() != nodes.size())
        return false;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (!matchesNode(nodes[i], patternNodes[i], suffix))
            return false;
    }
    return true;
}

} // namespace dmmsim
