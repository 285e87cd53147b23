#include "resourcename.h"

#include "resourceexpression.h"
#include "resources.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace visa {

namespace {

std::string upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> splitOnDoubleColons(const std::string &text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find("::", start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 2;
    }
}

bool allDigits(const std::string &text)
{
    return !text.empty() && text.size() <= 5
           && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "0x28E9" or "10473": a 16-bit number.
bool parseId(const std::string &text, ViUInt16 &value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 5)
        return false;
    for (char c : digits) {
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
            return false;
    }
    const unsigned long number = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
    if (number > 0xFFFF)
        return false;
    value = static_cast<ViUInt16>(number);
    return true;
}

// Board number after an interface keyword: "" (board 0) or digits.
bool parseBoard(const std::string &digits, ViUInt16 &board)
{
    if (digits.empty()) {
        board = 0;
        return true;
    }
    return allDigits(digits) && parseId(digits, board);
}

bool startsWithOtherInterface(const std::string &first)
{
    static const char *const keywords[] = {"GPIB-VXI", "GPIB", "VXI", "ASRL", "TCPIP", "PXI"};
    for (const char *keyword : keywords) {
        const std::string k(keyword);
        ViUInt16 board = 0;
        if (first.compare(0, k.size(), k) == 0 && parseBoard(first.substr(k.size()), board))
            return true;
    }
    return false;
}

} // namespace

ResourceName ResourceName::parse(const std::string &text)
{
    ResourceName name;
    std::vector<std::string> parts = splitOnDoubleColons(text);
    const std::string first = upper(parts.front());
    if (first.compare(0, 3, "USB") != 0 || !parseBoard(first.substr(3), name.board)) {
        if (parts.size() > 1 && startsWithOtherInterface(first))
            name.kind = Kind::OtherInterface;
        return name;
    }
    Kind kind = Kind::UsbInstr;
    const std::string last = upper(parts.back());
    if (last == "INSTR" || last == "RAW") {
        kind = last == "RAW" ? Kind::UsbRaw : Kind::UsbInstr;
        parts.pop_back();
    }
    if (parts.size() == 5) {
        if (!allDigits(parts[4]))
            return name;
        name.interfaceNumber = std::atoi(parts[4].c_str());
        parts.pop_back();
    }
    if (parts.size() != 4 || !parseId(parts[1], name.vendorId) || !parseId(parts[2], name.productId)
        || parts[3].empty())
        return name;
    name.serial = parts[3];
    name.kind = kind;
    return name;
}

std::string ResourceName::canonical() const
{
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "USB%u::0x%04X::0x%04X::", unsigned(board), unsigned(vendorId),
                  unsigned(productId));
    std::string text = prefix + serial;
    if (interfaceNumber >= 0)
        text += "::" + std::to_string(interfaceNumber);
    return text + "::INSTR";
}

bool ResourceName::sameResource(const ResourceName &other) const
{
    return kind == Kind::UsbInstr && other.kind == Kind::UsbInstr && board == other.board
           && vendorId == other.vendorId && productId == other.productId && sameResourceName(serial, other.serial)
           && std::max(interfaceNumber, 0) == std::max(other.interfaceNumber, 0);
}

std::optional<std::string> listedName(const ResourceName &name)
{
    if (name.kind != ResourceName::Kind::UsbInstr)
        return std::nullopt;
    for (const std::string &listed : listResources()) {
        if (name.sameResource(ResourceName::parse(listed)))
            return listed;
    }
    return std::nullopt;
}

} // namespace visa
