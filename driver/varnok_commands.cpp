// The meter's command vocabulary: each operation builds one command text,
// queues it in the command pool and returns at once.
#include "varnok.h"

#include "commandpool.h"

namespace {

QString onOff(bool on)
{
    return on ? QStringLiteral("ON") : QStringLiteral("OFF");
}

// printf %g: six significant digits, trailing zeros dropped, exponent form
// for very small or large values.
QString number(double value)
{
    return QString::number(value, 'g', 6);
}

QString number(int value)
{
    return QString::number(value);
}

} // namespace

bool Varnok::cmdChangeFunction(int line, int channel, const QString &option)
{
    const QString function = option.isEmpty() ? QString() : QStringLiteral(",%1").arg(option);
    return appendCommand(commandPool, QStringLiteral("FUNCtion:LINE%1 CH%2%3").arg(number(line), number(channel), function), false);
}

bool Varnok::cmdChangeRange(int channel, const QString &range)
{
    return appendCommand(commandPool, QStringLiteral("VOLTage:RANGe:CH%1 %2").arg(number(channel), range), false);
}

bool Varnok::cmdChangeRate(const QString &rate)
{
    return appendCommand(commandPool, QStringLiteral("VOLTage:RATE %1").arg(rate), false);
}

bool Varnok::cmdSetDBRef(int channel, double value)
{
    return appendCommand(commandPool, QStringLiteral("SENSe:DB:REFerence:CH%1 %2").arg(number(channel), number(value)), false);
}

bool Varnok::cmdSetDBMRef(int channel, double value)
{
    return appendCommand(commandPool, QStringLiteral("SENSe:DBM:REFerence:CH%1 %2").arg(number(channel), number(value)), false);
}

bool Varnok::cmdSetRelState(bool on)
{
    return appendCommand(commandPool, QStringLiteral("SENSe:REL:STATe %1").arg(onOff(on)), false);
}

bool Varnok::cmdSetRelRef(double value)
{
    return appendCommand(commandPool, QStringLiteral("SENSe:REL:REFerence %1").arg(number(value)), false);
}

bool Varnok::cmdSetHold(bool on)
{
    return appendCommand(commandPool, QStringLiteral("SENSe:HOLD:STATe %1").arg(onOff(on)), false);
}

bool Varnok::cmdSetHoldWindow(double percent)
{
    return appendCommand(commandPool, QStringLiteral("SENSe:HOLD:WINDow %1%").arg(number(percent)), false);
}

bool Varnok::cmdSetHoldCount(int count)
{
    return appendCommand(commandPool, QStringLiteral("SENSe:HOLD:COUNt %1").arg(number(count)), false);
}

bool Varnok::cmdSetPercentState(bool on)
{
    return appendCommand(commandPool, QStringLiteral("CALCulate:PERCent:STATe %1").arg(onOff(on)), false);
}

bool Varnok::cmdSetPercentRef(double value)
{
    return appendCommand(commandPool, QStringLiteral("CALCulate:PERCent:REFerence %1").arg(number(value)), false);
}

bool Varnok::cmdSetMaxMinState(bool on)
{
    return appendCommand(commandPool, QStringLiteral("%1 %2").arg(QStringLiteral("CALCulate:MAXMin:STATe"), onOff(on)), false);
}

bool Varnok::cmdSetCompareState(bool on)
{
    return appendCommand(commandPool, QStringLiteral("%1 %2").arg(QStringLiteral("CALCulate:COMPare:STATe"), onOff(on)), false);
}

bool Varnok::cmdSetCompareLower(double value)
{
    return appendCommand(commandPool, QStringLiteral("CALCulate:COMPare:LOWer %1").arg(number(value)), false);
}

bool Varnok::cmdSetCompareUpper(double value)
{
    return appendCommand(commandPool, QStringLiteral("CALCulate:COMPare:UPPer %1").arg(number(value)), false);
}

bool Varnok::cmdSetTriggerSource(const QString &source)
{
    return appendCommand(commandPool, QStringLiteral("%1 %2").arg(QStringLiteral("TRIGger:SOURce"), source), false);
}

bool Varnok::cmdSetFloat(int channel, bool on)
{
    return appendCommand(commandPool, QStringLiteral("%1:CH%2 %3").arg(QStringLiteral("SYSTem:FLOAt"), number(channel), onOff(on)), false);
}

bool Varnok::cmdSetRemote()
{
    return appendCommand(commandPool, QStringLiteral("SYSTem:REMote"), false);
}

bool Varnok::cmdSetLocal()
{
    return appendCommand(commandPool, QStringLiteral("SYSTem:LOCal"), false);
}

bool Varnok::cmdSetMemoryStore()
{
    return appendCommand(commandPool, QStringLiteral("MEMory:STORe"), false);
}

bool Varnok::cmdMemoryDelete(int index)
{
    const QString which = index == 0 ? QStringLiteral("ALL") : number(index);
    return appendCommand(commandPool, QStringLiteral("%1 %2").arg(QStringLiteral("MEMory:DELete"), which), false);
}

namespace {

QString query(const char *header)
{
    return QStringLiteral("%1?").arg(QLatin1String(header));
}

QString channelQuery(const char *header, int channel)
{
    return QStringLiteral("%1:CH%2?").arg(QLatin1String(header), QString::number(channel));
}

} // namespace

bool Varnok::cmdGetFunction(int line)
{
    return appendCommand(commandPool, QStringLiteral("FUNCtion:LINE%1?").arg(number(line)), true);
}

bool Varnok::cmdGetRange(int channel)
{
    return appendCommand(commandPool, channelQuery("VOLTage:RANGe", channel), true);
}

bool Varnok::cmdGetRate()
{
    return appendCommand(commandPool, query("VOLTage:RATE"), true);
}

bool Varnok::cmdGetDBRef(int channel)
{
    return appendCommand(commandPool, channelQuery("SENSe:DB:REFerence", channel), true);
}

bool Varnok::cmdGetDBMRef(int channel)
{
    return appendCommand(commandPool, channelQuery("SENSe:DBM:REFerence", channel), true);
}

bool Varnok::cmdGetRelState()
{
    return appendCommand(commandPool, query("SENSe:REL:STATe"), true);
}

bool Varnok::cmdGetRelRef()
{
    return appendCommand(commandPool, query("SENSe:REL:REFerence"), true);
}

bool Varnok::cmdGetHoldState()
{
    return appendCommand(commandPool, query("SENSe:HOLD:STATe"), true);
}

bool Varnok::cmdGetHoldWindow()
{
    return appendCommand(commandPool, query("SENSe:HOLD:WINDow"), true);
}

bool Varnok::cmdGetHoldCount()
{
    return appendCommand(commandPool, query("SENSe:HOLD:COUNt"), true);
}

bool Varnok::cmdGetPercentState()
{
    return appendCommand(commandPool, query("CALCulate:PERCent:STATe"), true);
}

bool Varnok::cmdGetPercentRef()
{
    return appendCommand(commandPool, query("CALCulate:PERCent:REFerence"), true);
}

bool Varnok::cmdGetPercentValue()
{
    return appendCommand(commandPool, query("CALCulate:PERCent:READ"), true);
}

bool Varnok::cmdGetMaxMinState()
{
    return appendCommand(commandPool, query("CALCulate:MAXMin:STATe"), true);
}

bool Varnok::cmdGetMaxMinValue()
{
    return appendCommand(commandPool, query("CALCulate:MAXMin:ALL"), true);
}

bool Varnok::cmdGetCompareState()
{
    return appendCommand(commandPool, query("CALCulate:COMPare:STATe"), true);
}

bool Varnok::cmdGetCompareLower()
{
    return appendCommand(commandPool, query("CALCulate:COMPare:LOWer"), true);
}

bool Varnok::cmdGetCompareUpper()
{
    return appendCommand(commandPool, query("CALCulate:COMPare:UPPer"), true);
}

bool Varnok::cmdGetTriggerSrouce()
{
    return appendCommand(commandPool, query("TRIGger:SOURce"), true);
}

bool Varnok::cmdGetFloat(int channel)
{
    return appendCommand(commandPool, channelQuery("SYSTem:FLOAt", channel), true);
}

bool Varnok::cmdGetRemote()
{
    return appendCommand(commandPool, query("SYSTem:REMote"), true);
}

bool Varnok::cmdGetMemoryStore()
{
    return appendCommand(commandPool, query("MEMory:STORe"), true);
}

bool Varnok::cmdMemoryUpload(int index)
{
    return appendCommand(commandPool, QStringLiteral("%1? %2").arg(QStringLiteral("MEMory:UPLoad"), number(index)), true);
}

QString Varnok::arrayToHexString(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size() * 3);
    for (const char byte : bytes)
        text += QStringLiteral("%1 ").arg(static_cast<unsigned char>(byte), 2, 16, QLatin1Char('0'));
    return text.toUpper();
}

void Varnok::initStatusCommandToPool()
{
    const auto marker = [this](const char *text) { appendCommand(statusPool, QString::fromLatin1(text), false); };
    const auto ask = [this](const QString &text) { appendCommand(statusPool, text, true); };
    const auto sub = [](const char *header, const char *key) {
        return QStringLiteral("%1:%2?").arg(QLatin1String(header), QLatin1String(key));
    };

    marker("BEGIN_STATUS");
    ask(sub("FUNCtion", "LINE1"));
    ask(sub("FUNCtion", "LINE2"));
    ask(query("VOLTage:RATE"));
    ask(sub("VOLTage:RANGe", "CH1"));
    ask(sub("VOLTage:RANGe", "CH2"));
    ask(sub("SENSe:DB:REFerence", "CH1"));
    ask(sub("SENSe:DB:REFerence", "CH2"));
    ask(sub("SENSe:DBM:REFerence", "CH1"));
    ask(sub("SENSe:DBM:REFerence", "CH2"));
    ask(query("SENSe:REL:STATe"));
    ask(query("SENSe:REL:REFerence"));
    ask(query("SENSe:HOLD:WINDow"));
    ask(query("SENSe:HOLD:COUNt"));
    ask(query("SENSe:HOLD:STATe"));
    ask(query("CALCulate:PERCent:STATe"));
    ask(query("CALCulate:PERCent:REFerence"));
    ask(query("CALCulate:PERCent:READ"));
    ask(query("CALCulate:MAXMin:STATe"));
    ask(query("CALCulate:MAXMin:ALL"));
    ask(query("CALCulate:COMPare:STATe"));
    ask(query("CALCulate:COMPare:LOWer"));
    ask(query("CALCulate:COMPare:UPPer"));
    ask(query("SYSTem:REMote"));
    ask(query("TRIGger:SOURce"));
    ask(channelQuery("SYSTem:FLOAt", 1));
    ask(channelQuery("SYSTem:FLOAt", 2));
    ask(query("MEMory:STORe"));
    marker("END_STATUS");
}
