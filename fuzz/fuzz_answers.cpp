// Feeds arbitrary answers to the driver's answer dispatcher, for every command
// it knows and for an unknown one, then converts a copy of the live record as
// the end of a live pass does.
//
// Input: lines separated by '\n'. The first byte of a line picks the command
// ('A' + index into `commands`, taken modulo the table size) or an action; the
// rest of the line is the answer. State builds up over the lines, so lines
// bind channels before readings arrive, counts start uploads, and so on.
#include "varnoktestaccess.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

const char *const commands[] = {
    "DISPlay:TEXT?",
    "FUNCtion:LINE1?",
    "FUNCtion:LINE2?",
    "VOLTage:RANGe:CH1?",
    "VOLTage:RANGe:CH2?",
    "Fetch?",
    "VOLTage:RATE?",
    "SENSe:DB:REFerence:CH1?",
    "SENSe:DBM:REFerence:CH2?",
    "SENSe:REL:STATe?",
    "SENSe:REL:REFerence?",
    "SENSe:HOLD:WINDow?",
    "SENSe:HOLD:COUNt?",
    "SENSe:HOLD:STATe?",
    "CALCulate:PERCent:STATe?",
    "CALCulate:PERCent:REFerence?",
    "CALCulate:PERCent:READ?",
    "CALCulate:MAXMin:STATe?",
    "CALCulate:MAXMin:ALL?",
    "CALCulate:COMPare:STATe?",
    "CALCulate:COMPare:LOWer?",
    "CALCulate:COMPare:UPPer?",
    "SYSTem:REMote?",
    "TRIGger:SOURce?",
    "SYSTem:FLOAt:CH2?",
    "MEMory:STORe?",
    "MEMory:UPLoad? 1",
    "*IDN?",
};
constexpr int commandCount = static_cast<int>(std::size(commands));

enum Action { StartTransfer = commandCount, StopTransfer, ConvertCopy, ToggleOpen, ActionEnd };

void checkChannel(const ChannelData &ch)
{
    if (ch.functions.size() != 2 || ch.values.size() != 2 || ch.valueModes.size() != 2
        || ch.valueTexts.size() != 2 || ch.unitTexts.size() != 2)
        __builtin_trap();
}

// The record's shape must survive any answer: a bound line shows one of the
// record's own channels, in the live record and in a copy alike.
void checkShape(const DmmData &data)
{
    if (data.lines.size() != 2 || data.channels.size() != 2)
        __builtin_trap();
    for (const ChannelData *ch : data.channels)
        checkChannel(*ch);
    for (const LineData *line : data.lines)
        if (line->channel && !data.channels.contains(line->channel))
            __builtin_trap();
}

void convertCopy(Varnok &driver)
{
    const DmmData &live = *VarnokTestAccess::liveData(driver);
    DmmData copy(live);
    VarnokTestAccess::convert(driver, &copy);
    checkShape(copy);
    for (int i = 0; i < 2; ++i)
        if (!copy.lines[i]->channel != !live.lines[i]->channel)
            __builtin_trap();
    // A shown channel leaves with a text for its line, and never with a
    // sentinel as a number.
    for (int i = 0; i < 2; ++i) {
        const ChannelData *shown = copy.lines[i]->channel;
        if (shown
            && (shown->valueTexts[i].isEmpty() || Varnok::getValueMode(shown->values[i]) != DmmData::ValueNormal))
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // One driver for the whole run, reset after each input: building a
    // driver costs far more than decoding a few answers. Resetting at the end
    // keeps each input's allocations balanced, so the leak check stays quiet
    // unless something really leaks.
    static DecoderBench bench;
    Varnok &driver = bench.driver;
    const QList<QByteArray> lines = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size)).split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const int pick = (static_cast<unsigned char>(line[0]) - 'A' + 256) % ActionEnd;
        const QByteArray answer = line.mid(1);
        switch (pick) {
        case StartTransfer:
            driver.startGetAllStore();
            break;
        case StopTransfer:
            driver.stopGetStore();
            break;
        case ConvertCopy:
            convertCopy(driver);
            break;
        case ToggleOpen:
            VarnokTestAccess::state(driver) = VarnokTestAccess::state(driver) == 1 ? 0 : 1;
            break;
        default:
            bench.decode(commands[pick], answer);
            break;
        }
        checkShape(bench.live());
        // Uploads queue further queries; nothing sends them here.
        VarnokTestAccess::clearQueued(driver);
    }
    convertCopy(driver);
    bench.reset();
    return 0;
}
