#include "commandlanguage.h"

#include "numberformat.h"
#include "scpimessage.h"

#include <array>

namespace dmmsim {

namespace {

struct Call
{
    MeterModel &model;
    ReadingMemory &memory;
    int index; // channel or line of the header's suffix, from 0
    const std::string &parameters;
    MeterModel::Clock::time_point now;

    MeterSettings &settings() const { return model.settings(); }
};

using Answer = std::optional<std::string>;
using SetHandler = void (*)(const Call &);
using QueryHandler = Answer (*)(const Call &);

struct Command
{
    std::string_view header;
    SetHandler set;     // null: there is no such set command
    QueryHandler query; // null: there is no such query
};

struct Limits
{
    double lowest;
    double highest;
};

constexpr int readingDigits = 6;

std::string readingText(double value)
{
    return formatScientific(value, readingDigits);
}

std::string switchText(bool on)
{
    return on ? "ON" : "OFF";
}

std::optional<bool> parseSwitch(std::string_view text)
{
    const std::string upper = upperCase(trimmed(text));
    if (upper == "ON" || upper == "1")
        return true;
    if (upper == "OFF" || upper == "0")
        return false;
    return std::nullopt;
}

std::optional<double> parseWithin(std::string_view text, const Limits &limits)
{
    const auto value = parseNumber(text);
    if (!value || *value < limits.lowest || *value > limits.highest)
        return std::nullopt;
    return value;
}

// Settings that are plain switches or numbers, reached by accessor so that
// one pair of handlers serves them all.
using SwitchField = bool &(*)(MeterSettings &, int);
using NumberField = double &(*)(MeterSettings &, int);

template <SwitchField field>
void setSwitch(const Call &c)
{
    if (const auto on = parseSwitch(c.parameters))
        field(c.settings(), c.index) = *on;
}

template <SwitchField field>
Answer querySwitch(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return switchText(field(c.settings(), c.index));
}

template <NumberField field, const Limits &limits>
void setNumber(const Call &c)
{
    if (const auto value = parseWithin(c.parameters, limits))
        field(c.settings(), c.index) = *value;
}

template <NumberField field>
Answer queryNumber(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return formatPlain(field(c.settings(), c.index));
}

bool &relOn(MeterSettings &s, int) { return s.relOn; }
bool &holdOn(MeterSettings &s, int) { return s.holdOn; }
bool &percentOn(MeterSettings &s, int) { return s.percentOn; }
bool &maxMinOn(MeterSettings &s, int) { return s.maxMinOn; }
bool &compareOn(MeterSettings &s, int) { return s.compareOn; }
bool &floating(MeterSettings &s, int channel) { return s.channels[static_cast<std::size_t>(channel)].floating; }

double &dbReference(MeterSettings &s, int channel)
{
    return s.channels[static_cast<std::size_t>(channel)].references.dbVolts;
}
double &dbmReference(MeterSettings &s, int channel)
{
    return s.channels[static_cast<std::size_t>(channel)].references.dbmOhms;
}
double &relReference(MeterSettings &s, int) { return s.relReference; }
double &percentReference(MeterSettings &s, int) { return s.percentReference; }
double &compareLower(MeterSettings &s, int) { return s.compareLower; }
double &compareUpper(MeterSettings &s, int) { return s.compareUpper; }

// What the meter accepts; outside these a setting command is refused.
constexpr Limits dbReferenceLimits{0.1, 1000.0};      // volts
constexpr Limits dbmReferenceLimits{1.0, 1000.0};     // ohms
constexpr Limits holdWindowLimits{0.01, 10.0};        // percent
constexpr Limits signedValueLimits{-1e8, 1e8};
constexpr int lowestHoldCount = 2;
constexpr int highestHoldCount = 100;

void setFunction(const Call &c)
{
    // "CH2" keeps the line's function, "CH2,DBM" changes both.
    const std::string text = upperCase(c.parameters);
    const std::size_t comma = text.find(',');
    const std::string_view channelText = trimmed(std::string_view(text).substr(0, comma));
    int channel = 0;
    if (channelText == "CH1")
        channel = 0;
    else if (channelText == "CH2")
        channel = 1;
    else
        return;
    MeterSettings::Line &line = c.settings().lines[static_cast<std::size_t>(c.index)];
    if (comma == std::string::npos) {
        line.channel = channel;
        return;
    }
    if (const auto function = functionNamed(trimmed(std::string_view(text).substr(comma + 1)))) {
        line.channel = channel;
        line.function = *function;
    }
}

Answer queryFunction(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    const MeterSettings::Line &line = c.settings().lines[static_cast<std::size_t>(c.index)];
    return "CH" + std::to_string(line.channel + 1) + ',' + std::string(functionName(line.function));
}

void setRange(const Call &c)
{
    MeterSettings::Channel &channel = c.settings().channels[static_cast<std::size_t>(c.index)];
    if (upperCase(c.parameters) == "AUTO") {
        channel.autoRange = true;
    } else if (const auto range = rangeForSetText(c.parameters)) {
        channel.autoRange = false;
        channel.manualRange = *range;
    }
}

Answer queryRange(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    const bool automatic = c.settings().channels[static_cast<std::size_t>(c.index)].autoRange;
    return std::string(automatic ? "AUTO," : "MANU,")
           + std::string(voltageRange(c.model.rangeInUse(c.index)).shownText);
}

void setRate(const Call &c)
{
    if (const auto rate = rateNamed(c.parameters))
        c.settings().rate = *rate;
}

Answer queryRate(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return std::string(rateName(c.settings().rate));
}

void setHoldWindow(const Call &c)
{
    std::string_view text = c.parameters;
    if (!text.empty() && text.back() == '%')
        text.remove_suffix(1);
    if (const auto window = parseWithin(text, holdWindowLimits))
        c.settings().holdWindow = *window;
}

Answer queryHoldWindow(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return formatPlain(c.settings().holdWindow) + '%';
}

void setHoldCount(const Call &c)
{
    const auto count = parseInteger(c.parameters);
    if (count && *count >= lowestHoldCount && *count <= highestHoldCount)
        c.settings().holdCount = *count;
}

Answer queryHoldCount(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return std::to_string(c.settings().holdCount);
}

Answer queryPercentReading(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return readingText(c.model.percentReading());
}

Answer queryMaxMin(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return readingText(c.model.maximum()) + ',' + readingText(c.model.minimum());
}

Answer queryCompareResult(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return std::string(compareResultName(c.model.compareResult()));
}

void setTriggerSource(const Call &c)
{
    if (const auto source = triggerSourceNamed(c.parameters))
        c.settings().triggerSource = *source;
}

Answer queryTriggerSource(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return std::string(triggerSourceName(c.settings().triggerSource));
}

void busTrigger(const Call &c)
{
    if (c.parameters.empty())
        c.model.trigger(TriggerSource::Bus, c.now);
}

void setRemote(const Call &c)
{
    if (c.parameters.empty())
        c.settings().remote = true;
}

void setLocal(const Call &c)
{
    if (c.parameters.empty())
        c.settings().remote = false;
}

Answer queryRemote(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return std::string(c.settings().remote ? "YES" : "NO");
}

void storeReading(const Call &c)
{
    if (c.parameters.empty())
        c.memory.store(c.model.record());
}

Answer queryStoredCount(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    return std::to_string(c.memory.count());
}

void deleteStored(const Call &c)
{
    if (upperCase(c.parameters) == "ALL") {
        c.memory.clear();
    } else if (const auto number = parseInteger(c.parameters)) {
        c.memory.remove(*number);
    }
}

Answer uploadStored(const Call &c)
{
    const auto number = parseInteger(c.parameters);
    const StoredRecord *record = number ? c.memory.record(*number) : nullptr;
    if (!record)
        return std::nullopt;
    return formatStoredRecord(*record);
}

Answer fetch(const Call &c)
{
    if (!c.parameters.empty())
        return std::nullopt;
    const MeterModel &m = c.model;
    return readingText(m.lineReading(0)) + ',' + readingText(m.lineReading(1)) + ',' + readingText(m.frequency(0))
           + ',' + readingText(m.frequency(1));
}

const std::array<Command, 27> commandTable{{
    {"FETCh", nullptr, fetch},
    {"FUNCtion:LINE#", setFunction, queryFunction},
    {"VOLTage:RANGe:CH#", setRange, queryRange},
    {"VOLTage:RATE", setRate, queryRate},
    {"SENSe:DB:REFerence:CH#", setNumber<dbReference, dbReferenceLimits>, queryNumber<dbReference>},
    {"SENSe:DBM:REFerence:CH#", setNumber<dbmReference, dbmReferenceLimits>, queryNumber<dbmReference>},
    {"SENSe:REL:STATe", setSwitch<relOn>, querySwitch<relOn>},
    {"SENSe:REL:REFerence", setNumber<relReference, signedValueLimits>, queryNumber<relReference>},
    {"SENSe:HOLD:WINDow", setHoldWindow, queryHoldWindow},
    {"SENSe:HOLD:COUNt", setHoldCount, queryHoldCount},
    {"SENSe:HOLD:STATe", setSwitch<holdOn>, querySwitch<holdOn>},
    {"CALCulate:PERCent:STATe", setSwitch<percentOn>, querySwitch<percentOn>},
    {"CALCulate:PERCent:REFerence", setNumber<percentReference, signedValueLimits>, queryNumber<percentReference>},
    {"CALCulate:PERCent:READ", nullptr, queryPercentReading},
    {"CALCulate:MAXMin:STATe", setSwitch<maxMinOn>, querySwitch<maxMinOn>},
    {"CALCulate:MAXMin:ALL", nullptr, queryMaxMin},
    {"CALCulate:COMPare:STATe", setSwitch<compareOn>, queryCompareResult},
    {"CALCulate:COMPare:LOWer", setNumber<compareLower, signedValueLimits>, queryNumber<compareLower>},
    {"CALCulate:COMPare:UPPer", setNumber<compareUpper, signedValueLimits>, queryNumber<compareUpper>},
    {"TRIGger:SOURce", setTriggerSource, queryTriggerSource},
    {"*TRG", busTrigger, nullptr},
    {"SYSTem:FLOAt:CH#", setSwitch<floating>, querySwitch<floating>},
    {"SYSTem:REMote", setRemote, queryRemote},
    {"SYSTem:LOCal", setLocal, nullptr},
    {"MEMory:STORe", storeReading, queryStoredCount},
    {"MEMory:DELete", deleteStored, nullptr},
    {"MEMory:UPLoad", nullptr, uploadStored},
}};

} // namespace

CommandLanguage::CommandLanguage(MeterModel &model, ReadingMemory &memory)
    : model(model)
    , memory(memory)
{
}

std::optional<std::string> CommandLanguage::execute(std::string_view line, MeterModel::Clock::time_point now)
{
    const auto message = ScpiMessage::parse(line);
    if (!message)
        return std::nullopt;
    model.refresh(now);
    for (const Command &entry : commandTable) {
        int suffix = 1;
        if (!message->matches(entry.header, suffix))
            continue;
        const Call call{model, memory, suffix - 1, message->parameters(), now};
        if (message->isQuery())
            return entry.query ? entry.query(call) : std::nullopt;
        if (entry.set)
            entry.set(call);
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace dmmsim
