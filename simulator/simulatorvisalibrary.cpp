// Runs when a client loads this library: the simulated meter joins the VISA
// layer's instruments before the client's first call.

#include "simulatedmeter.h"

namespace {

__attribute__((constructor)) void listSimulatedMeter()
{
    dmmsim::listFromEnvironment();
}

} // namespace
