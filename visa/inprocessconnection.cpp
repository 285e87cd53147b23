#include "inprocessconnection.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace visa {

namespace {

std::chrono::milliseconds waitLimit(ViUInt32 timeoutMs)
{
    // "Infinite" is passed on as a long but finite wait so that an
    // instrument adding it to a clock cannot overflow.
    if (timeoutMs == VI_TMO_INFINITE)
        return std::chrono::hours(24 * 365);
    return std::chrono::milliseconds(timeoutMs);
}

} // namespace

InProcessConnection::InProcessConnection(std::shared_ptr<InProcessInstrument> instrument)
    : m_instrument(std::move(instrument))
{
}

ViStatus InProcessConnection::write(const ViByte *buf, ViUInt32 cnt, ViUInt32 &written, ViUInt32)
{
    written = 0;
    const ViStatus status = m_instrument->write(std::string(reinterpret_cast<const char *>(buf), cnt));
    if (status >= VI_SUCCESS)
        written = cnt;
    return status;
}

ViStatus InProcessConnection::read(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, ViUInt32 timeoutMs)
{
    got = 0;
    if (!m_inMessage) {
        std::string next;
        const ViStatus status = m_instrument->read(next, waitLimit(timeoutMs));
        if (status == VI_ERROR_TMO)
            m_instrument->clear(); // a late answer must not answer the next query
        if (status < VI_SUCCESS)
            return status;
        m_message = std::move(next);
        m_delivered = 0;
        m_inMessage = true;
    }
    const std::size_t piece = std::min<std::size_t>(cnt, m_message.size() - m_delivered);
    std::memcpy(buf, m_message.data() + m_delivered, piece);
    m_delivered += piece;
    got = static_cast<ViUInt32>(piece);
    if (m_delivered < m_message.size())
        return VI_SUCCESS_MAX_CNT;
    m_inMessage = false;
    m_message.clear();
    return VI_SUCCESS;
}

ViStatus InProcessConnection::clear()
{
    m_inMessage = false;
    m_message.clear();
    if (!m_instrument->attached())
        return VI_ERROR_CONN_LOST;
    m_instrument->clear();
    return VI_SUCCESS;
}

} // namespace visa
