// Feeds arbitrary stored records to the decoder of the meter's memory uploads.
#include "varnoktestaccess.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

Varnok &driver()
{
    static Varnok instance;
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray record(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const auto stored = VarnokTestAccess::makeStoreData(driver(), record);
    if (!stored)
        return 0;
    // A stored record binds both lines to its own channels and keeps two
    // entries in every per-line list.
    for (const LineData *line : stored->lines) {
        if (!line->channel || !stored->channels.contains(line->channel))
            __builtin_trap();
    }
    for (const ChannelData *ch : stored->channels) {
        if (ch->functions.size() != 2 || ch->valueTexts.size() != 2 || ch->unitTexts.size() != 2)
            __builtin_trap();
    }
    return 0;
}
