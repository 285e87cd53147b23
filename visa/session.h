#pragma once

#include "connection.h"
#include "readtermination.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace visa {

constexpr ViUInt32 DefaultTimeoutMs = 2000;

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
