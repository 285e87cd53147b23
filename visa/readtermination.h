#pragma once

#include "connection.h"

#include <atomic>
#include <memory>
#include <string>

namespace visa {

// A session's termination character for reads (VI_ATTR_TERMCHAR and
// VI_ATTR_TERMCHAR_EN). Set from any thread; read by the session's reads.
struct ReadTermination
{
    std::atomic<ViUInt8> character{'\n'};
    std::atomic<bool> enabled{false};
};

// A connection whose reads also stop after the termination character when it
// is enabled. What the device sent beyond that character is kept for the
// next read, so no byte of the message is lost.
class TerminatedReadConnection : public Connection
{
public:
    TerminatedReadConnection(std::unique_ptr<Connection> link, const ReadTermination &termination);

    ViStatus write(const ViByte *buf, ViUInt32 cnt, ViUInt32 &written, ViUInt32 timeoutMs) override;
    // VI_SUCCESS_TERM_CHAR when the read stopped on the termination character
    // (even where that byte also ended the message), else as the link answers.
    ViStatus read(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, ViUInt32 timeoutMs) override;
    ViStatus clear() override;
    bool inProcess() const override { return m_link->inProcess(); }

    // Drops the bytes kept from the current message, without any I/O.
    void discardHeldInput();

private:
    ViStatus readHeld(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, bool &messageGoesOn);

    const std::unique_ptr<Connection> m_link;
    const ReadTermination &m_termination;
    std::string m_held;             // bytes received after a termination character
    bool m_heldEndsMessage = false; // whether the device's message ended with m_held
};

} // namespace visa
