#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dmmsim {

// Formatting and parsing independent of the process locale: a program may run
// with a C locale whose decimal separator is a comma, the meter never does.

// "1.23456E-01" for 6 significant digits.
std::string formatScientific(double value, int significantDigits);
// Shortest text that reads back as the same number: "0.775", "600", "1e-05".
std::string formatPlain(double value);

// The whole text must be a finite decimal number (an optional sign, digits,
// point and exponent); surrounding blanks are allowed.
std::optional<double> parseNumber(std::string_view text);
std::optional<int> parseInteger(std::string_view text);

std::string upperCase(std::string_view text);
std::string_view trimmed(std::string_view text);

} // namespace dmmsim
