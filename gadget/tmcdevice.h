#pragma once

#include "tmcprotocol.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace visa {
class InProcessInstrument;
}

// The USBTMC side of the meter: turns Bulk-OUT messages into commands for the
// instrument, its answers into Bulk-IN transfers, and answers the class
// control requests, aborts and clears included. Three threads use it at once:
// the Bulk-OUT reader (receive), the Bulk-IN writer (nextTransfer,
// transferSent) and the control endpoint (control).
class TmcDevice
{
public:
    TmcDevice(std::shared_ptr<visa::InProcessInstrument> instrument, std::size_t maxPacket);

    // Bytes as they arrive on Bulk-OUT.
    void receive(const char *bytes, std::size_t count);

    // Waits until a REQUEST_DEV_DEP_MSG_IN can be answered and returns the
    // DEV_DEP_MSG_IN transfer for it; nothing once `stop` is set or the
    // instrument is gone. The caller sends it, then calls transferSent().
    std::optional<std::string> nextTransfer(const std::atomic<bool> &stop);
    void transferSent();

    // Answer to a class request on the control endpoint, at most `length`
    // bytes; nothing for a request it does not support (the caller stalls).
    std::optional<std::string> control(std::uint8_t request, std::uint16_t value, std::uint16_t length);

    // Sizes as the host sees them: full-speed and high-speed bulk packets differ.
    void setMaxPacket(std::size_t maxPacket);

private:
    struct Request
    {
        std::uint8_t tag;
        std::uint32_t maxSize;
    };

    std::string answerControl(std::uint8_t request, std::uint16_t value);
    void dropAnswersLocked(); // the pending request, the rest of an answer, and what the instrument still owes

    const std::shared_ptr<visa::InProcessInstrument> m_instrument;
    std::mutex m_mutex;
    std::condition_variable m_requestArrived;
    std::size_t m_maxPacket;
    tmc::BulkOutParser m_parser;
    std::string m_command;            // DEV_DEP_MSG_OUT bytes until the end of the message
    std::optional<Request> m_pending; // request waiting for its answer
    std::string m_rest;               // rest of an answer longer than the host asked for
    std::uint64_t m_generation = 0;   // counts aborts and clears: an answer read across one is stale
    bool m_waitingForAnswer = false;  // the Bulk-IN writer is in the instrument's read, unlocked
    bool m_clearOwed = false;         // the instrument's clear waits for that read to return
    bool m_inFlight = false;          // a Bulk-IN transfer is queued at the endpoint
    std::uint8_t m_inFlightTag = 0;
    std::uint32_t m_bytesSent = 0;
    std::uint32_t m_bytesReceived = 0;
};
