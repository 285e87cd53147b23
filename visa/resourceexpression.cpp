#include "resourceexpression.h"

#include <cctype>

namespace visa {

namespace {

bool sameLetter(char a, char b)
{
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

} // namespace

bool matchesResourceExpression(const std::string &expr, const std::string &name)
{
    // Greedy scan that backtracks only to the last '*': linear in practice,
    // never exponential.
    std::size_t e = 0;
    std::size_t n = 0;
    std::size_t starAt = std::string::npos;
    std::size_t resumeAt = 0;
    while (n < name.size()) {
        if (e < expr.size() && (expr[e] == '?' || (expr[e] != '*' && sameLetter(expr[e], name[n])))) {
            ++e;
            ++n;
        } else if (e < expr.size() && expr[e] == '*') {
            starAt = e++;
            resumeAt = n;
        } else if (starAt != std::string::npos) {
            e = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (e < expr.size() && expr[e] == '*')
        ++e;
    return e == expr.size();
}

bool sameResourceName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!sameLetter(a[i], b[i]))
            return false;
    }
    return true;
}

} // namespace visa
