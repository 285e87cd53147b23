#include "tmcdevice.h"

#include "inprocessinstrument.h"

#include <chrono>
#include <iostream>

namespace {

// How long the Bulk-IN writer waits for the instrument before it looks at
// aborts and stop requests again.
constexpr std::chrono::milliseconds AnswerPoll(20);

std::string bytes(std::initializer_list<std::uint8_t> values)
{
    return std::string(values.begin(), values.end());
}

std::string withCount(std::initializer_list<std::uint8_t> head, std::uint32_t count)
{
    std::string answer = bytes(head);
    for (int i = 0; i < 4; ++i)
        answer += static_cast<char>(count >> (8 * i));
    return answer;
}

} // namespace

TmcDevice::TmcDevice(std::shared_ptr<visa::InProcessInstrument> instrument, std::size_t maxPacket)
    : m_instrument(std::move(instrument)), m_maxPacket(maxPacket)
{
}

void TmcDevice::setMaxPacket(std::size_t maxPacket)
{
    const std::lock_guard lock(m_mutex);
    m_maxPacket = maxPacket;
}

void TmcDevice::receive(const char *bytes, std::size_t count)
{
    const std::lock_guard lock(m_mutex);
    m_parser.feed(bytes, count);
    m_bytesReceived += static_cast<std::uint32_t>(count);
    while (auto message = m_parser.next()) {
        if (message->id == tmc::DevDepMsgOut) {
            m_command += message->data;
            if (message->endOfMessage) {
                m_instrument->write(m_command); // a lost meter shows as detached to whoever watches it
                m_command.clear();
            }
        } else {
            m_pending = Request{message->tag, message->transferSize};
            m_requestArrived.notify_all();
        }
    }
    if (m_parser.corrupt) {
        std::cerr << "dmmgadget: Bulk-OUT data without a valid USBTMC header dropped\n";
        m_parser.corrupt = false;
        m_command.clear();
    }
}

std::optional<std::string> TmcDevice::nextTransfer(const std::atomic<bool> &stop)
{
    std::unique_lock lock(m_mutex);
    while (!stop) {
        if (!m_pending) {
            m_requestArrived.wait_for(lock, AnswerPoll);
            continue;
        }
        if (m_rest.empty()) {
            const std::uint64_t generation = m_generation;
            std::string answer;
            m_waitingForAnswer = true;
            lock.unlock();
            const ViStatus status = m_instrument->read(answer, AnswerPoll);
            lock.lock();
            m_waitingForAnswer = false;
            if (m_clearOwed) {
                m_instrument->clear();
                m_clearOwed = false;
            }
            if (status == VI_ERROR_CONN_LOST)
                return std::nullopt;
            if (status != VI_SUCCESS || generation != m_generation)
                continue; // nothing yet, or the answer of an aborted query
            m_rest = std::move(answer);
        }
        const std::size_t size = std::min<std::size_t>(m_rest.size(), m_pending->maxSize);
        const bool end = size == m_rest.size();
        std::string transfer = tmc::devDepMsgIn(m_pending->tag, std::string_view(m_rest).substr(0, size), end, m_maxPacket);
        m_rest.erase(0, size);
        m_inFlight = true;
        m_inFlightTag = m_pending->tag;
        m_bytesSent = static_cast<std::uint32_t>(size);
        m_pending.reset();
        return transfer;
    }
    return std::nullopt;
}

void TmcDevice::transferSent()
{
    const std::lock_guard lock(m_mutex);
    m_inFlight = false;
}

std::optional<std::string> TmcDevice::control(std::uint8_t request, std::uint16_t value, std::uint16_t length)
{
    std::string answer = answerControl(request, value);
    if (answer.empty())
        return std::nullopt;
    answer.resize(std::min<std::size_t>(answer.size(), length));
    return answer;
}

// A read under way may return an answer owed before the abort or clear, or
// one to a command written after it: they cannot be told apart. So the
// instrument is cleared only once that read has returned (its answer is
// dropped as stale), and the abort or clear reports pending until then: the
// host sends its next command only after that.
void TmcDevice::dropAnswersLocked()
{
    m_pending.reset();
    m_rest.clear();
    ++m_generation;
    if (m_waitingForAnswer)
        m_clearOwed = true;
    else
        m_instrument->clear();
}

std::string TmcDevice::answerControl(std::uint8_t request, std::uint16_t value)
{
    const std::lock_guard lock(m_mutex);
    const auto tag = static_cast<std::uint8_t>(value);
    switch (request) {
    case tmc::InitiateAbortBulkIn:
        if (m_inFlight) {
            dropAnswersLocked(); // the host reads what is queued, the rest of the answer goes
            return bytes({tmc::Success, m_inFlightTag});
        }
        if (!m_pending)
            return bytes({tmc::Failed, 0});
        if (m_pending->tag != tag) {
            std::cerr << "dmmgadget: abort of Bulk-IN transfer " << int(tag) << " refused, transfer "
                      << int(m_pending->tag) << " is the one in progress\n";
            return bytes({tmc::TransferNotInProgress, m_pending->tag});
        }
        dropAnswersLocked();
        return bytes({tmc::Success, tag});
    case tmc::CheckAbortBulkInStatus:
        if (m_inFlight) // bit 0: the host is to read the queued transfer
            return withCount({tmc::Pending, 1, 0, 0}, 0);
        return m_clearOwed ? withCount({tmc::Pending, 0, 0, 0}, 0) : withCount({tmc::Success, 0, 0, 0}, m_bytesSent);
    case tmc::InitiateAbortBulkOut: {
        const bool inProgress = !m_command.empty();
        m_parser.reset();
        m_command.clear();
        return bytes({inProgress ? tmc::Success : tmc::Failed, tag});
    }
    case tmc::CheckAbortBulkOutStatus:
        return withCount({tmc::Success, 0, 0, 0}, m_bytesReceived);
    case tmc::InitiateClear:
        m_parser.reset();
        m_command.clear();
        dropAnswersLocked();
        return bytes({tmc::Success});
    case tmc::CheckClearStatus:
        if (m_inFlight)
            return bytes({tmc::Pending, 1});
        return m_clearOwed ? bytes({tmc::Pending, 0}) : bytes({tmc::Success, 0});
    case tmc::GetCapabilities: {
        const auto caps = tmc::capabilities();
        return std::string(caps.begin(), caps.end());
    }
    default:
        return {};
    }
}
