#pragma once
// The USBTMC class protocol as a device speaks it: the Bulk-OUT messages the
// host sends, the Bulk-IN answer it returns, and the class control requests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tmc {

constexpr std::size_t HeaderSize = 12;

enum MessageId : std::uint8_t {
    DevDepMsgOut = 1,
    RequestDevDepMsgIn = 2, // Bulk-OUT; its answer DEV_DEP_MSG_IN carries the same id on Bulk-IN
};

enum Request : std::uint8_t {
    InitiateAbortBulkOut = 1,
    CheckAbortBulkOutStatus = 2,
    InitiateAbortBulkIn = 3,
    CheckAbortBulkInStatus = 4,
    InitiateClear = 5,
    CheckClearStatus = 6,
    GetCapabilities = 7,
};

enum Status : std::uint8_t {
    Success = 0x01,
    Pending = 0x02,
    Failed = 0x80,
    TransferNotInProgress = 0x81,
};

constexpr std::uint8_t EndOfMessage = 0x01; // bmTransferAttributes bit

// One Bulk-OUT message: DEV_DEP_MSG_OUT with its bytes, or
// REQUEST_DEV_DEP_MSG_IN with the most bytes the host takes (transferSize).
struct BulkOutMessage
{
    std::uint8_t id = 0;
    std::uint8_t tag = 0;
    std::uint32_t transferSize = 0;
    bool endOfMessage = false;
    std::string data;
};

// Cuts the Bulk-OUT byte stream into messages. The host pads each message to
// a multiple of four bytes and may split it over any number of packets.
class BulkOutParser
{
public:
    void feed(const char *bytes, std::size_t count) { m_stream.append(bytes, count); }

    // The next whole message, if one has arrived. A header that is no USBTMC
    // header (bTag and its inverse disagree, unknown id) throws the stream
    // away and sets `corrupt`: nothing after it can be framed.
    std::optional<BulkOutMessage> next();

    // Forgets a half-received message (after an abort or a clear).
    void reset() { m_stream.clear(); }

    bool corrupt = false;

private:
    std::string m_stream;
};

// A DEV_DEP_MSG_IN transfer: header, `data`, alignment to four bytes, and four
// more alignment bytes when the transfer would otherwise end on a full packet
// of `maxPacket` bytes, so that it always ends with a short packet.
std::string devDepMsgIn(std::uint8_t tag, std::string_view data, bool endOfMessage, std::size_t maxPacket);

// The 0x18-byte GET_CAPABILITIES answer of a plain USBTMC interface (no
// indicator pulse, neither talk- nor listen-only, no TermChar).
std::array<std::uint8_t, 0x18> capabilities();

} // namespace tmc
