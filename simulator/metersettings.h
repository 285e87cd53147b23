#pragma once

#include "measurement.h"

#include <array>
#include <chrono>
#include <optional>
#include <string_view>

namespace dmmsim {

// Enumerators are in the order of their codes in a stored record's flags word.
enum class Rate { Fast, Med, Slow };
enum class TriggerSource { Immediate, Manual, Bus };
enum class CompareResult { Off, High, In, Low };

std::string_view rateName(Rate rate);
std::optional<Rate> rateNamed(std::string_view name);
std::chrono::milliseconds refreshPeriod(Rate rate);
double noiseFactor(Rate rate); // slower readings average more and are quieter

std::string_view triggerSourceName(TriggerSource source);
std::optional<TriggerSource> triggerSourceNamed(std::string_view name);

std::string_view compareResultName(CompareResult result);

// Everything the front panel and the commands can set; power-on values.
struct MeterSettings
{
    struct Line
    {
        int channel; // 0 for CH1, 1 for CH2
        Function function = Function::Volt;
    };
    struct Channel
    {
        bool autoRange = true;
        int manualRange = 2; // used while autoRange is off
        LineReferences references;
        bool floating = false;
    };

    std::array<Line, 2> lines{{{0}, {1}}};
    std::array<Channel, 2> channels;
    Rate rate = Rate::Fast;
    bool relOn = false;
    double relReference = 0.0;
    bool holdOn = false;
    double holdWindow = 0.1; // percent
    int holdCount = 2;
    bool percentOn = false;
    double percentReference = 1.0;
    bool maxMinOn = false;
    bool compareOn = false;
    double compareLower = 0.0;
    double compareUpper = 0.0;
    TriggerSource triggerSource = TriggerSource::Immediate;
    bool remote = false;
};

} // namespace dmmsim
