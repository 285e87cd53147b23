#include "simulatedmeter.h"
#include "visaquerytool.h"

#include <iostream>

int main(int argc, char **argv)
{
    dmmsim::listFromEnvironment();
    return runVisaQuery(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
