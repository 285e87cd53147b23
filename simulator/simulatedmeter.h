#pragma once

#include "inprocessinstrument.h"
#include "inputsignal.h"
#include "storedrecord.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dmmsim {

// A software model of a two-channel AC millivoltmeter of the KM4473N/KM4475N
// family, speaking its command language. It plugs into the VISA layer as an
// in-process instrument; the driver cannot tell it from a real meter.
class SimulatedMeter : public visa::InProcessInstrument
{
public:
    static constexpr const char *DefaultResource = "USB0::0x28E9::0x0285::KM4473N-SIM::INSTR";

    explicit SimulatedMeter(std::string resource = DefaultResource);
    ~SimulatedMeter() override;

    // Inputs, channel 1 or 2; defaults look like a bench: CH1 123 mV at 1 kHz, CH2 1.2 V at 50 Hz.
    void setInput(int channel, const InputSignal &signal);
    InputSignal input(int channel) const;
    void setSeed(std::uint32_t seed);
    // Delay before each answer becomes readable (models the USB round trip); 0 by default.
    void setAnswerDelay(std::chrono::milliseconds delay);
    // Ends every answer with CR LF instead of a line feed, as some meters do.
    void setCrLfAnswers(bool on);
    // Front-panel TRIG key: takes one reading while the trigger source is MAN.
    void pressTrigger();

    // Faults. Counts are commands received from now on.
    void goSilentAfter(int commands);   // then answers nothing
    // Once silent, answers again this long after the first command it left
    // unanswered.
    void answerAgainAfter(std::chrono::milliseconds silence);
    void pressLocalAfter(int commands); // then the front-panel LOCAL key is pressed
    void pressLocal();                  // front-panel LOCAL key, now
    void unplugAfter(int commands);     // then every call fails with a connection error
    void unplug();
    // Every later unplug ends this long after it: the meter is listed and
    // opened again, its settings as they were.
    void replugAfter(std::chrono::milliseconds absence);
    void fillMemory(int count);         // replaces the stored readings with `count` readings
    // Puts a record into memory as it stands, for records the display
    // functions cannot produce (such as a frequency on LINE2); false when full.
    bool appendStoredRecord(const StoredRecord &record);
    // Applies a comma-separated list as in DMMPANEL_SIMULATOR_FAULTS
    // ("silent-after=N,silent-for=N,local-after=N,unplug-after=N,replug-after=N,
    // stored=N,crlf"); false on a bad list.
    bool applyFaults(const std::string &list);

    // Observation.
    std::vector<std::string> commandLog() const; // every command line received, without its line feed
    void setLogFile(const std::string &path);    // also appends each command line to this file (never blocking)
    bool isRemote() const;
    int storedCount() const;

    // visa::InProcessInstrument
    std::string resourceName() const override;
    ViStatus write(const std::string &bytes) override;
    ViStatus read(std::string &message, std::chrono::milliseconds timeout) override;
    void clear() override;
    bool attached() const override;

private:
    struct State;
    std::unique_ptr<State> d;
};

// How many simulated meters the environment asks for: DMMPANEL_SIMULATOR=N,
// N from 1 to 16; 0 for any other value or none.
int simulatedMeterCount();

// Simulated meter `number` (from 1) of those the environment asks for, new,
// with DMMPANEL_SIMULATOR_FAULTS applied (and DMMPANEL_SIMULATOR_LOG to the
// first); null when there is no such meter. The first is the meter
// DMMPANEL_SIMULATOR=1 offers; each other has a serial number of its own
// (KM4473N-SIM2, ...), inputs a little higher and noise of its own.
std::shared_ptr<SimulatedMeter> createFromEnvironment(int number = 1);

// Lists the simulated meters the environment asks for on the VISA layer. The
// programs call it at start; later calls do nothing, so that a reconnect finds
// the same meter, with its settings, as it would find a real one.
void listFromEnvironment();

} // namespace dmmsim
