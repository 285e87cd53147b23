#pragma once

#include <string>

namespace visa {

// Whether `name` as a whole matches the search expression `expr`, where '?'
// stands for any one character and '*' for any run of characters (none
// included); letters match regardless of case.
bool matchesResourceExpression(const std::string &expr, const std::string &name);

// Case-insensitive equality of two resource names.
bool sameResourceName(const std::string &a, const std::string &b);

} // namespace visa
