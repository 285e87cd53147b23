#include "metermodel.h"

#include <tuple>

namespace dmmsim {

namespace {

std::size_t at(int index)
{
    return static_cast<std::size_t>(index);
}

} // namespace

bool MeterModel::Measurement::operator!=(const Measurement &other) const
{
    const auto key = [](const Measurement &m) {
        return std::tie(m.channel, m.function, m.autoRange, m.manualRange, m.references.dbVolts,
                        m.references.dbmOhms, m.relOn, m.relReference);
    };
    return key(*this) != key(other);
}

MeterModel::MeterModel()
    : sample(sampler.take(noiseFactor(current.rate)))
    , sampleTime(Clock::now())
    , tracked(line1Measurement())
{
}

void MeterModel::inputsChanged()
{
    inputsMoved = true;
}

void MeterModel::restartReadings(Clock::time_point now)
{
    takeReading(now);
}

void MeterModel::trigger(TriggerSource source, Clock::time_point now)
{
    if (current.triggerSource == source)
        takeReading(now);
}

void MeterModel::refresh(Clock::time_point now)
{
    const bool freeRunning = current.triggerSource == TriggerSource::Immediate;
    if (freeRunning && (inputsMoved || now - sampleTime >= refreshPeriod(current.rate)))
        takeReading(now);
    else
        track(false);
}

void MeterModel::takeReading(Clock::time_point now)
{
    sample = sampler.take(noiseFactor(current.rate));
    sampleTime = now;
    inputsMoved = false;
    track(true);
}

void MeterModel::track(bool newReading)
{
    const Measurement measurement = line1Measurement();
    if (measurement != tracked) {
        tracked = measurement;
        hold.restart();
        maxMin.restart();
    }
    if (!current.holdOn)
        hold.restart();
    if (!current.maxMinOn)
        maxMin.restart();

    // A function switched on starts from the reading shown at that moment.
    const double reading = plainReading(sample, 0);
    if (current.holdOn && (newReading || hold.isEmpty()))
        hold.feed(reading, current.holdWindow, current.holdCount);
    if (current.maxMinOn && (newReading || maxMin.isEmpty()))
        maxMin.feed(reading);
}

MeterModel::Measurement MeterModel::line1Measurement() const
{
    const MeterSettings::Line &line = current.lines[0];
    const MeterSettings::Channel &channel = current.channels[at(line.channel)];
    return {line.channel,        line.function,  channel.autoRange,   channel.manualRange,
            channel.references, current.relOn, current.relReference};
}

int MeterModel::rangeFor(const Sample &s, int channelIndex) const
{
    const MeterSettings::Channel &channel = current.channels[at(channelIndex)];
    return channel.autoRange ? autoRangeFor(s.rms[at(channelIndex)]) : channel.manualRange;
}

double MeterModel::plainReading(const Sample &s, int line) const
{
    const MeterSettings::Line &shown = current.lines[at(line)];
    const int channel = shown.channel;
    const double reading = dmmsim::lineReading(shown.function, s.rms[at(channel)],
                                               voltageRange(rangeFor(s, channel)),
                                               current.channels[at(channel)].references);
    if (line == 0 && current.relOn && !isSentinel(reading))
        return reading - current.relReference;
    return reading;
}

double MeterModel::lineReading(int line) const
{
    if (line == 0 && current.holdOn) {
        if (const auto held = hold.heldReading())
            return *held;
    }
    return plainReading(sample, line);
}

double MeterModel::frequency(int channelIndex) const
{
    return frequencyReading(sample.rms[at(channelIndex)], sample.frequency[at(channelIndex)],
                            voltageRange(rangeInUse(channelIndex)));
}

int MeterModel::rangeInUse(int channelIndex) const
{
    return rangeFor(sample, channelIndex);
}

double MeterModel::percentReading() const
{
    const double reading = lineReading(0);
    if (!current.percentOn || current.percentReference == 0.0)
        return Sentinel::None;
    if (isSentinel(reading))
        return reading;
    return reading / current.percentReference * 100.0;
}

CompareResult MeterModel::compare(double reading) const
{
    // Sentinels compare as the numbers they are: overload and no value are high, under-range low.
    if (!current.compareOn)
        return CompareResult::Off;
    if (reading > current.compareUpper)
        return CompareResult::High;
    if (reading < current.compareLower)
        return CompareResult::Low;
    return CompareResult::In;
}

CompareResult MeterModel::compareResult() const
{
    return compare(lineReading(0));
}

double MeterModel::maximum() const
{
    return maxMin.maximum();
}

double MeterModel::minimum() const
{
    return maxMin.minimum();
}

StoredRecord MeterModel::recordOf(double line1, double line2) const
{
    const auto bit = [](bool on, int position) { return on ? 1u << position : 0u; };
    const MeterSettings::Line &first = current.lines[0];
    const MeterSettings::Line &second = current.lines[1];
    StoredRecord record;
    record.flags = bit(first.channel == 0, 0) | bit(second.channel == 0, 1) | bit(current.channels[0].floating, 2)
                   | bit(current.channels[1].floating, 3) | bit(current.channels[at(first.channel)].autoRange, 4)
                   | bit(current.relOn, 5) | bit(current.maxMinOn, 6) | bit(current.holdOn, 7)
                   | static_cast<unsigned>(compare(line1)) << 8 | static_cast<unsigned>(current.rate) << 10
                   | static_cast<unsigned>(current.triggerSource) << 12;
    const std::string line1Unit(storedUnit(first.function));
    record.line1 = {line1, line1Unit};
    record.line2 = {line2, std::string(storedUnit(second.function))};
    if (current.maxMinOn) {
        record.maximum = StoredField{maxMin.maximum(), line1Unit};
        record.minimum = StoredField{maxMin.minimum(), line1Unit};
    }
    return record;
}

StoredRecord MeterModel::record() const
{
    return recordOf(lineReading(0), lineReading(1));
}

StoredRecord MeterModel::freshRecord()
{
    const Sample s = sampler.take(noiseFactor(current.rate));
    return recordOf(plainReading(s, 0), plainReading(s, 1));
}

} // namespace dmmsim
