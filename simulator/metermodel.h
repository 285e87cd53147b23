#pragma once

#include "metersettings.h"
#include "readingtrackers.h"
#include "signalsampler.h"
#include "storedrecord.h"

#include <chrono>

namespace dmmsim {

// The measuring part of the meter: its settings, the readings it takes of the
// inputs, and what it makes of them (REL, HOLD, percent, MAX/MIN, compare).
// LINE1 is the main display line; REL, HOLD, percent, MAX/MIN and compare
// act on its reading, LINE2 always shows its plain reading.
class MeterModel
{
public:
    using Clock = std::chrono::steady_clock;

    MeterModel();

    MeterSettings &settings() { return current; }
    const MeterSettings &settings() const { return current; }
    SignalSampler &signals() { return sampler; }
    const SignalSampler &signals() const { return sampler; }

    // The inputs or the seed changed: a free-running meter measures again at
    // once, a triggered one keeps its reading until the next trigger.
    void inputsChanged();
    // Starts the reading sequence of the sampler's seed afresh.
    void restartReadings(Clock::time_point now);
    // A trigger of `source` (front-panel key, bus); ignored unless it is the selected source.
    void trigger(TriggerSource source, Clock::time_point now);
    // Takes the reading that is due and follows setting changes; call before reporting.
    void refresh(Clock::time_point now);

    double lineReading(int line) const; // as shown
    double frequency(int channelIndex) const;
    int rangeInUse(int channelIndex) const;
    double percentReading() const;
    CompareResult compareResult() const;
    double maximum() const;
    double minimum() const;

    StoredRecord record() const;        // the present reading, for MEMory:STORe
    StoredRecord freshRecord();         // a reading taken just for the record

private:
    // What LINE1's reading means; when it changes, HOLD and MAX/MIN start over.
    struct Measurement
    {
        int channel;
        Function function;
        bool autoRange;
        int manualRange;
        LineReferences references;
        bool relOn;
        double relReference;
        bool operator!=(const Measurement &other) const;
    };

    Measurement line1Measurement() const;
    int rangeFor(const Sample &sample, int channelIndex) const;
    double plainReading(const Sample &sample, int line) const;
    CompareResult compare(double reading) const;
    StoredRecord recordOf(double line1, double line2) const;
    void takeReading(Clock::time_point now);
    void track(bool newReading);

    MeterSettings current;
    SignalSampler sampler;
    Sample sample;
    Clock::time_point sampleTime;
    bool inputsMoved = false;
    Measurement tracked;
    HoldTracker hold;
    MaxMinTracker maxMin;
};

} // namespace dmmsim
