#include "signalsampler.h"

#include <cmath>

namespace dmmsim {

namespace {

constexpr std::uint32_t defaultSeed = 1;
// A counter is far steadier than the voltage converter.
constexpr double frequencyNoiseShare = 0.01;

} // namespace

SignalSampler::SignalSampler()
    : inputs{{{0.123, 1000.0, 0.0002}, {1.2, 50.0, 0.0002}}}
    , generator(defaultSeed)
{
}

void SignalSampler::setInput(int channelIndex, const InputSignal &signal)
{
    inputs.at(static_cast<std::size_t>(channelIndex)) = signal;
}

InputSignal SignalSampler::input(int channelIndex) const
{
    return inputs.at(static_cast<std::size_t>(channelIndex));
}

void SignalSampler::setSeed(std::uint32_t seed)
{
    generator.seed(seed);
}

Sample SignalSampler::take(double noiseFactor)
{
    Sample sample;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const InputSignal &in = inputs[i];
        const double noise = in.noise * noiseFactor;
        sample.rms[i] = std::fmax(0.0, in.rms * (1.0 + noise * gaussian()));
        sample.frequency[i] = std::fmax(0.0, in.frequency * (1.0 + noise * frequencyNoiseShare * gaussian()));
    }
    return sample;
}

// Box-Muller on the raw generator output: std::normal_distribution differs
// between standard libraries, this does not.
double SignalSampler::gaussian()
{
    constexpr double pi = 3.14159265358979323846;
    const double u1 = (static_cast<double>(generator()) + 0.5) / 4294967296.0;
    const double u2 = (static_cast<double>(generator()) + 0.5) / 4294967296.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * pi * u2);
}

} // namespace dmmsim
