#include "tmcprotocol.h"

namespace tmc {

namespace {

std::uint32_t le32(const std::string &s, std::size_t at)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at]))
           | static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8
           | static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16
           | static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

std::size_t alignedToFour(std::size_t n)
{
    return (n + 3) & ~std::size_t(3);
}

} // namespace

std::optional<BulkOutMessage> BulkOutParser::next()
{
    if (m_stream.size() < HeaderSize)
        return std::nullopt;
    BulkOutMessage message;
    message.id = static_cast<std::uint8_t>(m_stream[0]);
    message.tag = static_cast<std::uint8_t>(m_stream[1]);
    const auto inverse = static_cast<std::uint8_t>(m_stream[2]);
    const bool known = message.id == DevDepMsgOut || message.id == RequestDevDepMsgIn;
    if (!known || message.tag == 0 || static_cast<std::uint8_t>(message.tag ^ inverse) != 0xFF) {
        corrupt = true;
        m_stream.clear();
        return std::nullopt;
    }
    message.transferSize = le32(m_stream, 4);
    message.endOfMessage = (static_cast<std::uint8_t>(m_stream[8]) & EndOfMessage) != 0;
    std::size_t length = HeaderSize;
    if (message.id == DevDepMsgOut) {
        length += alignedToFour(message.transferSize);
        if (m_stream.size() < length)
            return std::nullopt;
        message.data = m_stream.substr(HeaderSize, message.transferSize);
    }
    m_stream.erase(0, length);
    return message;
}

std::string devDepMsgIn(std::uint8_t tag, std::string_view data, bool endOfMessage, std::size_t maxPacket)
{
    const auto size = static_cast<std::uint32_t>(data.size());
    std::string transfer(HeaderSize, '\0');
    transfer[0] = static_cast<char>(RequestDevDepMsgIn);
    transfer[1] = static_cast<char>(tag);
    transfer[2] = static_cast<char>(~tag);
    for (int i = 0; i < 4; ++i)
        transfer[4 + i] = static_cast<char>(size >> (8 * i));
    transfer[8] = static_cast<char>(endOfMessage ? EndOfMessage : 0);
    transfer.append(data);
    std::size_t padded = alignedToFour(transfer.size());
    if (maxPacket > 0 && padded % maxPacket == 0)
        padded += 4;
    transfer.resize(padded, '\0');
    return transfer;
}

std::array<std::uint8_t, 0x18> capabilities()
{
    std::array<std::uint8_t, 0x18> answer{};
    answer[0] = Success;
    answer[2] = 0x00; // bcdUSBTMC 1.00, little-endian
    answer[3] = 0x01;
    return answer;
}

} // namespace tmc
