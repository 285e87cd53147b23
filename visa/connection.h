#pragma once

#include "visa.h"

#include <cstddef>

namespace visa {

// Longest answer message the layer accepts: an instrument that sends more
// without ending its message is babbling, and the rest is discarded.
constexpr std::size_t MaxMessageBytes = std::size_t(1) << 20;

// One open link to an instrument, as an instrument session uses it. Calls come
// from one thread at a time (the session serialises them).
class Connection
{
public:
    virtual ~Connection() = default;

    // Sends `cnt` bytes as one message; `written` counts the bytes sent.
    virtual ViStatus write(const ViByte *buf, ViUInt32 cnt, ViUInt32 &written, ViUInt32 timeoutMs) = 0;

    // Delivers up to `cnt` (> 0) bytes of the current answer message:
    // VI_SUCCESS when its end was delivered, VI_SUCCESS_MAX_CNT when the
    // buffer filled first (the rest stays for the next call), or an error.
    virtual ViStatus read(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, ViUInt32 timeoutMs) = 0;

    // Device clear: the instrument drops its input and output queues and
    // nothing of an earlier answer is handed out any more.
    virtual ViStatus clear() = 0;

    // Whether the instrument is a software one in this process rather than a
    // device on the bus.
    virtual bool inProcess() const { return false; }
};

} // namespace visa
