#pragma once

#include "connection.h"
#include "readtermination.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace visa {

constexpr ViUInt32 DefaultTimeoutMs = 2000;

// The answer message being read. As a whole it may take no longer than the
// session's time-out and hold no more than MaxMessageBytes, however many
// reads it is handed out in: an instrument that never ends its message must
// not hold its caller for ever.
struct MessageBudget
{
    using Clock = std::chrono::steady_clock;
    bool open = false;  // a piece was handed out and the message has not ended
    bool timed = false; // the time-out is not infinite
    Clock::time_point deadline;
    std::size_t bytes = 0;
};

// An open instrument session, shared by the calls that use it at one time.
struct InstrumentSession
{
    InstrumentSession(std::string name, std::unique_ptr<Connection> link)
        : resourceName(std::move(name)), connection(std::make_unique<TerminatedReadConnection>(std::move(link), termination))
    {
    }
    const std::string resourceName; // as listed
    std::mutex io;                  // one transfer at a time
    ReadTermination termination;
    const std::unique_ptr<TerminatedReadConnection> connection;
    std::atomic<ViUInt32> timeoutMs{DefaultTimeoutMs};
    MessageBudget message; // guarded by io
};

// The open objects, for the functions beside the core ones: the instrument
// session `handle` names (null for any other object), and whether `handle`
// is an open resource manager or any open object.
std::shared_ptr<InstrumentSession> instrumentSession(ViObject handle);
bool isResourceManager(ViObject handle);
bool isOpenObject(ViObject handle);

// What an operation this library does not offer answers for `handle`:
// VI_ERROR_NSUP_OPER for an open object, else VI_ERROR_INV_OBJECT.
ViStatus unsupportedOperationOn(ViObject handle);

} // namespace visa
