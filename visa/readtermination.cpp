#include "readtermination.h"

#include <algorithm>
#include <cstring>

namespace visa {

TerminatedReadConnection::TerminatedReadConnection(std::unique_ptr<Connection> link,
                                                   const ReadTermination &termination)
    : m_link(std::move(link)), m_termination(termination)
{
}

ViStatus TerminatedReadConnection::write(const ViByte *buf, ViUInt32 cnt, ViUInt32 &written, ViUInt32 timeoutMs)
{
    return m_link->write(buf, cnt, written, timeoutMs);
}

ViStatus TerminatedReadConnection::read(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, ViUInt32 timeoutMs)
{
    got = 0;
    if (!m_held.empty()) {
        bool messageGoesOn = false;
        const ViStatus status = readHeld(buf, cnt, got, messageGoesOn);
        if (!messageGoesOn || got == cnt)
            return status;
    }
    const bool stopOnCharacter = m_termination.enabled;
    const ViByte character = m_termination.character;
    ViUInt32 received = 0;
    const ViStatus status = m_link->read(buf + got, cnt - got, received, timeoutMs);
    const ViByte *begin = buf + got;
    const ViByte *found = stopOnCharacter ? std::find(begin, begin + received, character) : begin + received;
    if (found == begin + received) {
        got += received;
        return status;
    }
    const ViUInt32 kept = static_cast<ViUInt32>(found - begin) + 1;
    m_held.assign(reinterpret_cast<const char *>(begin + kept), received - kept);
    m_heldEndsMessage = status == VI_SUCCESS;
    got += kept;
    return VI_SUCCESS_TERM_CHAR;
}

ViStatus TerminatedReadConnection::readHeld(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, bool &messageGoesOn)
{
    std::size_t count = std::min<std::size_t>(cnt, m_held.size());
    bool onCharacter = false;
    if (m_termination.enabled) {
        const std::size_t at = m_held.find(static_cast<char>(m_termination.character.load()));
        if (at < count) {
            count = at + 1;
            onCharacter = true;
        }
    }
    std::memcpy(buf, m_held.data(), count);
    m_held.erase(0, count);
    got = static_cast<ViUInt32>(count);
    messageGoesOn = false;
    if (onCharacter)
        return VI_SUCCESS_TERM_CHAR;
    if (!m_held.empty())
        return VI_SUCCESS_MAX_CNT;
    messageGoesOn = !m_heldEndsMessage;
    return m_heldEndsMessage ? VI_SUCCESS : VI_SUCCESS_MAX_CNT;
}

ViStatus TerminatedReadConnection::clear()
{
    discardHeldInput();
    return m_link->clear();
}

void TerminatedReadConnection::discardHeldInput()
{
    m_held.clear();
    m_heldEndsMessage = false;
}

} // namespace visa
