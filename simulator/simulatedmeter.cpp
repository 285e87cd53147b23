#include "simulatedmeter.h"

#include "commandlanguage.h"
#include "commandlogfile.h"
#include "faultplan.h"
#include "metermodel.h"
#include "numberformat.h"

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <mutex>
#include <optional>

namespace dmmsim {

namespace {

using Clock = MeterModel::Clock;

// Only the newest lines are kept, so that a program connected for days stays
// flat in memory: some seven minutes of polling (about 0.5 MB).
constexpr std::size_t logCapacity = 10000;

struct PendingAnswer
{
    std::string text;
    Clock::time_point readyAt;
};

std::size_t channelIndex(int channel)
{
    return channel == 2 ? 1 : 0;
}

} // namespace

struct SimulatedMeter::State
{
    explicit State(std::string resource)
        : resource(std::move(resource))
    {
    }

    void receive(std::string_view line, Clock::time_point now);
    bool isSilent(Clock::time_point now);
    void pressLocalIfDue();
    void swellIfDue();
    void replugIfDue();
    void disconnect();
    void fillMemory(int count);

    const std::string resource;
    mutable std::mutex mutex;
    std::condition_variable answerArrived;

    MeterModel model;
    ReadingMemory memory;
    CommandLanguage language{model, memory};
    std::deque<PendingAnswer> answers;
    std::chrono::milliseconds answerDelay{0};
    const char *lineEnd = "\n";

    std::deque<std::string> log;
    CommandLogFile logFile;

    // Fault moments, as counts of commands received since the meter was made.
    long long received = 0;
    std::optional<long long> silentFrom;
    std::optional<long long> localAt;
    std::optional<long long> unplugAt;
    std::optional<long long> swellAt;    // CH1's level doubles
    std::optional<long long> swellEndAt; // and is back
    bool unplugged = false;
    // The ways back, and when the fault they end began.
    std::optional<std::chrono::milliseconds> silenceLasts;
    std::optional<Clock::time_point> silentSince;
    std::optional<std::chrono::milliseconds> absenceLasts;
    Clock::time_point unpluggedAt;
};

void SimulatedMeter::State::receive(std::string_view line, Clock::time_point now)
{
    ++received;
    log.emplace_back(line);
    if (log.size() > logCapacity)
        log.pop_front();
    logFile.append(line);

    if (!isSilent(now)) {
        if (auto answer = language.execute(line, now)) {
            answers.push_back({std::move(*answer) + lineEnd, now + answerDelay});
            answerArrived.notify_all();
        }
    }
    pressLocalIfDue();
    swellIfDue();
}

void SimulatedMeter::State::swellIfDue()
{
    const auto scaleFirstInput = [this](double factor) {
        InputSignal signal = model.signals().input(0);
        signal.rms *= factor;
        model.signals().setInput(0, signal);
        model.inputsChanged();
    };
    if (swellAt && received >= *swellAt) {
        scaleFirstInput(2.0);
        swellAt.reset();
    } else if (!swellAt && swellEndAt && received >= *swellEndAt) {
        scaleFirstInput(0.5);
        swellEndAt.reset();
    }
}

bool SimulatedMeter::State::isSilent(Clock::time_point now)
{
    if (!silentFrom || received <= *silentFrom)
        return false;
    if (!silenceLasts)
        return true;
    if (!silentSince)
        silentSince = now;
    if (now - *silentSince < *silenceLasts)
        return true;
    silentFrom.reset(); // the silence is over for good
    silentSince.reset();
    return false;
}

void SimulatedMeter::State::replugIfDue()
{
    if (unplugged && absenceLasts && Clock::now() - unpluggedAt >= *absenceLasts) {
        unplugged = false;
        unplugAt.reset();
    }
}

void SimulatedMeter::State::pressLocalIfDue()
{
    if (localAt && received >= *localAt) {
        model.settings().remote = false;
        localAt.reset();
    }
}

void SimulatedMeter::State::disconnect()
{
    unplugged = true;
    unpluggedAt = Clock::now();
    answers.clear();
    answerArrived.notify_all();
}

void SimulatedMeter::State::fillMemory(int count)
{
    memory.clear();
    for (int i = 0; i < count; ++i) {
        if (!memory.store(model.freshRecord()))
            break; // full
    }
}

SimulatedMeter::SimulatedMeter(std::string resource)
    : d(std::make_unique<State>(std::move(resource)))
{
}

SimulatedMeter::~SimulatedMeter() = default;

void SimulatedMeter::setInput(int channel, const InputSignal &signal)
{
    const std::lock_guard lock(d->mutex);
    d->model.signals().setInput(static_cast<int>(channelIndex(channel)), signal);
    d->model.inputsChanged();
}

InputSignal SimulatedMeter::input(int channel) const
{
    const std::lock_guard lock(d->mutex);
    return d->model.signals().input(static_cast<int>(channelIndex(channel)));
}

void SimulatedMeter::setSeed(std::uint32_t seed)
{
    const std::lock_guard lock(d->mutex);
    d->model.signals().setSeed(seed);
    d->model.restartReadings(Clock::now());
}

void SimulatedMeter::setAnswerDelay(std::chrono::milliseconds delay)
{
    const std::lock_guard lock(d->mutex);
    d->answerDelay = delay;
}

void SimulatedMeter::setCrLfAnswers(bool on)
{
    const std::lock_guard lock(d->mutex);
    d->lineEnd = on ? "\r\n" : "\n";
}

void SimulatedMeter::pressTrigger()
{
    const std::lock_guard lock(d->mutex);
    d->model.trigger(TriggerSource::Manual, Clock::now());
}

void SimulatedMeter::goSilentAfter(int commands)
{
    const std::lock_guard lock(d->mutex);
    d->silentFrom = d->received + commands;
    d->silentSince.reset();
}

void SimulatedMeter::answerAgainAfter(std::chrono::milliseconds silence)
{
    const std::lock_guard lock(d->mutex);
    d->silenceLasts = silence;
}

void SimulatedMeter::pressLocalAfter(int commands)
{
    const std::lock_guard lock(d->mutex);
    d->localAt = d->received + commands;
    d->pressLocalIfDue();
}

void SimulatedMeter::pressLocal()
{
    pressLocalAfter(0);
}

void SimulatedMeter::unplugAfter(int commands)
{
    const std::lock_guard lock(d->mutex);
    d->unplugAt = d->received + commands;
    if (commands <= 0)
        d->disconnect();
}

void SimulatedMeter::unplug()
{
    unplugAfter(0);
}

void SimulatedMeter::replugAfter(std::chrono::milliseconds absence)
{
    const std::lock_guard lock(d->mutex);
    d->absenceLasts = absence;
}

void SimulatedMeter::fillMemory(int count)
{
    const std::lock_guard lock(d->mutex);
    d->fillMemory(count);
}

bool SimulatedMeter::appendStoredRecord(const StoredRecord &record)
{
    const std::lock_guard lock(d->mutex);
    return d->memory.store(record);
}

bool SimulatedMeter::applyFaults(const std::string &list)
{
    const auto plan = FaultPlan::parse(list);
    if (!plan)
        return false;
    if (plan->stored)
        fillMemory(*plan->stored);
    if (plan->silentForMs)
        answerAgainAfter(std::chrono::milliseconds(*plan->silentForMs));
    if (plan->silentAfter)
        goSilentAfter(*plan->silentAfter);
    if (plan->localAfter)
        pressLocalAfter(*plan->localAfter);
    if (plan->replugAfterMs)
        replugAfter(std::chrono::milliseconds(*plan->replugAfterMs));
    if (plan->unplugAfter)
        unplugAfter(*plan->unplugAfter);
    if (plan->crlf)
        setCrLfAnswers(true);
    if (plan->swellAfter) {
        const std::lock_guard lock(d->mutex);
        d->swellAt = d->received + *plan->swellAfter;
        if (plan->swellFor)
            d->swellEndAt = *d->swellAt + *plan->swellFor;
    }
    return true;
}

std::vector<std::string> SimulatedMeter::commandLog() const
{
    const std::lock_guard lock(d->mutex);
    return std::vector<std::string>(d->log.begin(), d->log.end());
}

void SimulatedMeter::setLogFile(const std::string &path)
{
    const std::lock_guard lock(d->mutex);
    d->logFile.open(path);
}

bool SimulatedMeter::isRemote() const
{
    const std::lock_guard lock(d->mutex);
    return d->model.settings().remote;
}

int SimulatedMeter::storedCount() const
{
    const std::lock_guard lock(d->mutex);
    return d->memory.count();
}

std::string SimulatedMeter::resourceName() const
{
    return d->resource;
}

ViStatus SimulatedMeter::write(const std::string &bytes)
{
    const std::lock_guard lock(d->mutex);
    d->replugIfDue();
    // One write is one message: each line feed ends a command, and so does
    // the end of the message.
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (trimmed(line).empty())
            continue;
        if (d->unplugAt && d->received >= *d->unplugAt)
            d->disconnect();
        if (d->unplugged)
            return VI_ERROR_CONN_LOST;
        d->receive(line, Clock::now());
    }
    return d->unplugged ? VI_ERROR_CONN_LOST : VI_SUCCESS;
}

ViStatus SimulatedMeter::read(std::string &message, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(d->mutex);
    d->replugIfDue();
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        if (d->unplugged)
            return VI_ERROR_CONN_LOST;
        const Clock::time_point now = Clock::now();
        Clock::time_point wakeAt = deadline;
        if (!d->answers.empty()) {
            if (d->answers.front().readyAt <= now) {
                message = std::move(d->answers.front().text);
                d->answers.pop_front();
                return VI_SUCCESS;
            }
            wakeAt = std::min(wakeAt, d->answers.front().readyAt);
        }
        if (now >= deadline)
            return VI_ERROR_TMO;
        d->answerArrived.wait_until(lock, wakeAt);
    }
}

void SimulatedMeter::clear()
{
    const std::lock_guard lock(d->mutex);
    d->answers.clear();
}

bool SimulatedMeter::attached() const
{
    const std::lock_guard lock(d->mutex);
    d->replugIfDue();
    return !d->unplugged;
}

int simulatedMeterCount()
{
    const char *text = std::getenv("DMMPANEL_SIMULATOR");
    if (!text)
        return 0;
    const std::string_view value(text);
    // Plain decimal digits only, as "1" has always been read.
    if (value.empty() || value.size() > 2 || value.front() == '0'
        || value.find_first_not_of("0123456789") != std::string_view::npos)
        return 0;
    const int count = std::stoi(std::string(value));
    return count <= 16 ? count : 0;
}

std::shared_ptr<SimulatedMeter> createFromEnvironment(int number)
{
    if (number < 1 || number > simulatedMeterCount())
        return nullptr;
    std::shared_ptr<SimulatedMeter> meter;
    if (number == 1) {
        meter = std::make_shared<SimulatedMeter>();
        if (const char *logPath = std::getenv("DMMPANEL_SIMULATOR_LOG"); logPath && *logPath)
            meter->setLogFile(logPath);
    } else {
        const std::string serial = "KM4473N-SIM" + std::to_string(number);
        meter = std::make_shared<SimulatedMeter>("USB0::0x28E9::0x0285::" + serial + "::INSTR");
        meter->setSeed(std::uint32_t(number));
        for (int channel = 1; channel <= 2; ++channel) {
            InputSignal signal = meter->input(channel);
            signal.rms *= 1 + 0.02 * (number - 1);
            meter->setInput(channel, signal);
        }
    }
    if (const char *faults = std::getenv("DMMPANEL_SIMULATOR_FAULTS"); faults && *faults) {
        if (!meter->applyFaults(faults))
            std::cerr << "Simulated meter: DMMPANEL_SIMULATOR_FAULTS is not understood, no fault applied: " << faults
                      << '\n';
    }
    return meter;
}

void listFromEnvironment()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int number = 1; number <= simulatedMeterCount(); ++number)
            visa::addInProcessInstrument(createFromEnvironment(number));
    });
}

} // namespace dmmsim
