#include "autoresetevent.h"

#include <condition_variable>
#include <mutex>

namespace {

// All events share one mutex and one condition variable, which is what lets a
// single wait watch two events at once. Events are few and set rarely, so the
// shared wake-ups cost nothing worth a finer scheme.
std::mutex &eventMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::condition_variable &eventChanged()
{
    static std::condition_variable changed;
    return changed;
}

} // namespace

void AutoResetEvent::set()
{
    {
        std::lock_guard<std::mutex> lock(eventMutex());
        signalled = true;
    }
    eventChanged().notify_all();
}

void AutoResetEvent::reset()
{
    std::lock_guard<std::mutex> lock(eventMutex());
    signalled = false;
}

bool AutoResetEvent::wait(std::chrono::milliseconds timeout)
{
    return waitAny(*this, *this, timeout) == 0;
}

int AutoResetEvent::waitAny(AutoResetEvent &first, AutoResetEvent &second, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(eventMutex());
    const bool woken = eventChanged().wait_for(lock, timeout, [&] { return first.signalled || second.signalled; });
    if (!woken)
        return -1;
    AutoResetEvent &winner = first.signalled ? first : second;
    winner.signalled = false;
    return &winner == &first ? 0 : 1;
}
