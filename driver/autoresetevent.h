#pragma once

#include <chrono>

// A flag one thread sets and another waits for. A set event stays set until
// one wait consumes it; setting it again before that changes nothing.
class AutoResetEvent
{
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent &) = delete;
    AutoResetEvent &operator=(const AutoResetEvent &) = delete;

    void set();
    void reset();

    // Consumes the event when it is or becomes set within `timeout`.
    bool wait(std::chrono::milliseconds timeout);

    // Which of the pair was consumed: 0 for `first`, 1 for `second`, -1 when
    // neither was set within `timeout`. When both are set, `first` wins and
    // `second` stays set.
    static int waitAny(AutoResetEvent &first, AutoResetEvent &second, std::chrono::milliseconds timeout);

private:
    bool signalled = false; // guarded by the shared mutex in the .cpp
};
