#pragma once

#include "inprocessinstrument.h"
#include "simulatedmeter.h"

#include <memory>

// A simulated meter on the bus, as an in-process instrument, while it lives.
struct PluggedMeter
{
    PluggedMeter() { visa::addInProcessInstrument(meter); }
    ~PluggedMeter() { visa::removeInProcessInstrument(meter.get()); }
    PluggedMeter(const PluggedMeter &) = delete;
    PluggedMeter &operator=(const PluggedMeter &) = delete;

    std::shared_ptr<dmmsim::SimulatedMeter> meter = std::make_shared<dmmsim::SimulatedMeter>();
};
