#pragma once

#include "visa.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace visa {

// Copies `text` into a caller's VI_FIND_BUFLEN-sized buffer (as much as fits,
// then a NUL); a null buffer is left alone.
inline void copyToVisaBuffer(const std::string &text, ViChar out[])
{
    if (!out)
        return;
    const std::size_t length = std::min<std::size_t>(text.size(), VI_FIND_BUFLEN - 1);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

} // namespace visa
