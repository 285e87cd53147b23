#pragma once

#include <ostream>
#include <string>
#include <vector>

// The visaquery command line: `args` without the program name; answers and
// the list go to `out`, errors to `err`. Returns the exit status.
int runVisaQuery(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
