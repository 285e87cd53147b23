#pragma once

#include <string>

namespace visa {

// `bytes` safe to print on a terminal: control bytes and DEL become escapes
// (\n, \r, \t, \xNN) and a backslash is doubled, so that no answer or serial
// number can move the cursor or pass for something it is not.
std::string printable(const std::string &bytes);

// Writes "dmmvisa: `text`" (printable) on stderr, the first time only:
// listings repeat with every search, and a fault they meet must not flood
// the output.
void reportOnce(const std::string &text);

} // namespace visa
