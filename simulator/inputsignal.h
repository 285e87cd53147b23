#pragma once

namespace dmmsim {

// Signal applied to one input of the simulated meter.
struct InputSignal
{
    double rms = 0.0;       // volts
    double frequency = 0.0; // hertz; 0 means no signal to count
    double noise = 0.0;     // relative rms noise of the reading, e.g. 0.001
};

} // namespace dmmsim
