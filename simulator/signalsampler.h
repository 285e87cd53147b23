#pragma once

#include "inputsignal.h"

#include <array>
#include <cstdint>
#include <random>

namespace dmmsim {

// What the meter's converters measured of both inputs at one moment.
struct Sample
{
    std::array<double, 2> rms{};       // volts
    std::array<double, 2> frequency{}; // hertz
};

// The two input signals and the noise on their measurement. The same seed
// gives the same sequence of samples on every platform.
class SignalSampler
{
public:
    SignalSampler();

    void setInput(int channelIndex, const InputSignal &signal);
    InputSignal input(int channelIndex) const;
    void setSeed(std::uint32_t seed);

    // `noiseFactor` scales each input's noise (quieter at slower rates).
    Sample take(double noiseFactor);

private:
    double gaussian();

    std::array<InputSignal, 2> inputs;
    std::mt19937 generator;
};

} // namespace dmmsim
