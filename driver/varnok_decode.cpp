// Decoding of the meter's answers into the live record, and the conversion of
// a record's raw numbers into display texts.
//
// Every answer is decoded by the text of the command it answers. An answer is
// outside input: a field may be missing, a number may be text. Missing fields
// leave the record as it was; a number that does not parse counts as 0.
#include "varnok.h"

#include "engprefix.h"

#include "command.h"
#include "varnok_text.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <initializer_list>

// Off by default; QT_LOGGING_RULES="dmmpanel.driver.debug=true" shows every
// answer that did not have the form the meter gives.
Q_LOGGING_CATEGORY(driverLog, "dmmpanel.driver", QtInfoMsg)

namespace {

using EngPrefix::decibelUnit;
using varnoktext::fixed;
using varnoktext::toInteger;
using varnoktext::toNumber;
using EngPrefix::withMicroSign;

// Index into the record's channels of a channel-bound command.
int channelOf(const QByteArray &command)
{
    return command.contains("CH2") ? 1 : 0;
}

LineData &firstLine(DmmData &data)
{
    return *data.lines[0];
}

bool isOneOf(const QByteArray &answer, std::initializer_list<const char *> texts)
{
    return std::any_of(texts.begin(), texts.end(), [&answer](const char *text) { return answer == text; });
}

bool isState(const QByteArray &answer)
{
    return isOneOf(answer, {"ON", "OFF"});
}

// `bytes` in quotes, control bytes escaped, as a log shows them.
QString quoted(const QByteArray &bytes)
{
    QString text;
    QDebug(&text).nospace() << bytes;
    return text;
}

// A number answer into `field`; false when the answer is no number.
bool storeNumber(double &field, const QByteArray &answer)
{
    bool wellFormed = true;
    field = toNumber(answer, &wellFormed);
    return wellFormed;
}

// An "ON"/"OFF" answer into `field` (exactly "ON" is on); false for any other.
bool storeState(bool &field, const QByteArray &answer)
{
    field = answer == "ON";
    return isState(answer);
}

// Each decoder applies its answer and tells whether the answer had the form
// the meter gives; one that had not is still applied as far as it goes.

bool decodeFunction(DmmData &data, const QByteArray &command, const QByteArray &answer)
{
    const int colon = command.indexOf(':');
    const int line = command.mid(colon + 1).contains("LINE2") ? 1 : 0;
    const QList<QByteArray> fields = answer.split(',');
    if (fields.size() < 2)
        return false;
    bool wellFormed = fields.size() == 2 && isOneOf(fields[0], {"CH1", "CH2"});
    const int channel = toInteger(fields[0].mid(2), &wellFormed) == 1 ? 0 : 1;
    ChannelData *shown = data.channels[channel];
    data.lines[line]->channel = shown;
    shown->functions[line] = QString::fromLatin1(fields[1]);
    return wellFormed;
}

bool decodeRange(DmmData &data, const QByteArray &command, const QByteArray &answer)
{
    const QList<QByteArray> fields = answer.split(',');
    if (fields.size() < 2)
        return false;
    ChannelData &channel = *data.channels[channelOf(command)];
    const QByteArray &range = fields[1];
    int numberLength = 0;
    while (numberLength < range.size()
           && ((range[numberLength] >= '0' && range[numberLength] <= '9') || range[numberLength] == '.'))
        ++numberLength;
    channel.rangeMode = QString::fromLatin1(fields[0]);
    channel.rangeValue = QString::fromLatin1(range.left(numberLength));
    channel.rangeUnit = QString::fromLatin1(range.mid(numberLength));
    return fields.size() == 2 && isOneOf(fields[0], {"AUTO", "MANU"}) && numberLength > 0
           && numberLength < range.size();
}

bool decodeFetch(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    const QList<QByteArray> fields = answer.split(',');
    if (fields.size() < 4)
        return false;
    bool wellFormed = fields.size() == 4;
    for (int line = 0; line < 2; ++line) {
        const double reading = toNumber(fields[line], &wellFormed);
        if (ChannelData *shown = data.lines[line]->channel)
            shown->values[line] = reading;
    }
    data.channels[0]->frequency = toNumber(fields[2], &wellFormed);
    data.channels[1]->frequency = toNumber(fields[3], &wellFormed);
    return wellFormed;
}

bool decodeRate(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    data.setRate(QString::fromLatin1(answer));
    return isOneOf(answer, {"FAST", "MED", "SLOW"});
}

bool decodeDbReference(DmmData &data, const QByteArray &command, const QByteArray &answer)
{
    return storeNumber(data.channels[channelOf(command)]->dbReference, answer);
}

bool decodeDbmReference(DmmData &data, const QByteArray &command, const QByteArray &answer)
{
    return storeNumber(data.channels[channelOf(command)]->dbmReference, answer);
}

bool decodeRelState(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    return storeState(firstLine(data).relState, answer.toUpper());
}

bool decodeRelReference(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    return storeNumber(firstLine(data).relReference, answer);
}

bool decodeHoldWindow(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    // The window comes with its percent sign. Only that sign goes: cutting
    // any last character would turn an answer of 50 into 5.
    bool wellFormed = answer.endsWith('%');
    firstLine(data).holdWindow = toNumber(wellFormed ? answer.chopped(1) : answer, &wellFormed);
    return wellFormed;
}

bool decodeHoldCount(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    bool wellFormed = true;
    firstLine(data).holdCount = toInteger(answer, &wellFormed);
    return wellFormed;
}

bool decodeHoldState(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    return storeState(firstLine(data).holdState, answer);
}

bool decodePercentState(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    return storeState(firstLine(data).percentState, answer);
}

bool decodePercentReference(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    return storeNumber(firstLine(data).percentReference, answer);
}

bool decodePercentValue(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    return storeNumber(firstLine(data).percentValue, answer);
}

bool decodeMaxMinState(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    return storeState(firstLine(data).maxMinState, answer);
}

bool decodeMaxMinValues(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    const QList<QByteArray> fields = answer.split(',');
    if (fields.size() < 2)
        return false;
    bool wellFormed = fields.size() == 2;
    firstLine(data).maxValue = toNumber(fields[0], &wellFormed);
    firstLine(data).minValue = toNumber(fields[1], &wellFormed);
    return wellFormed;
}

bool decodeCompareState(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    firstLine(data).compareState = QString::fromLatin1(answer);
    return isOneOf(answer, {"OFF", "HI", "IN", "LO"});
}

bool decodeCompareLower(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    return storeNumber(firstLine(data).compareLower, answer);
}

bool decodeCompareUpper(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    return storeNumber(firstLine(data).compareUpper, answer);
}

bool decodeTriggerSource(DmmData &data, const QByteArray &, const QByteArray &answer)
{
    data.setTriggerSource(QString::fromLatin1(answer));
    return isOneOf(answer, {"IMM", "MAN", "BUS"});
}

bool decodeFloating(DmmData &data, const QByteArray &command, const QByteArray &answer)
{
    return storeState(data.channels[channelOf(command)]->floating, answer);
}

using RecordDecoder = bool (*)(DmmData &, const QByteArray &command, const QByteArray &answer);

// Units repeat on every reading: each record refers to one shared text
// instead of carrying a copy of its own.
QString shared(const QString &unit)
{
    static QSet<QString> known;
    const auto found = known.constFind(unit);
    if (found != known.constEnd())
        return *found;
    known.insert(unit);
    return unit;
}

} // namespace

void Varnok::decodeLiveData(const QByteArray &answer)
{
    if (!currentCommand || !liveData)
        return;

    using DriverDecoder = bool (Varnok::*)(const QByteArray &answer);
    struct Row
    {
        const char *prefix;
        RecordDecoder record;
        DriverDecoder driver;
    };
    // Tried in this order; the first prefix that matches decides.
    static const Row rows[] = {
        {"DISPlay", nullptr, nullptr},
        {"FUNCtion", decodeFunction, nullptr},
        {"VOLTage:RANGe", decodeRange, nullptr},
        {"Fetch", nullptr, &Varnok::decodeReading},
        {"VOLTage:RATE", decodeRate, nullptr},
        {"SENSe:DB:REFerence", decodeDbReference, nullptr},
        {"SENSe:DBM:REFerence", decodeDbmReference, nullptr},
        {"SENSe:REL:STATe", decodeRelState, nullptr},
        {"SENSe:REL:REFerence", decodeRelReference, nullptr},
        {"SENSe:HOLD:WINDow", decodeHoldWindow, nullptr},
        {"SENSe:HOLD:COUNt", decodeHoldCount, nullptr},
        {"SENSe:HOLD:STATe", decodeHoldState, nullptr},
        {"CALCulate:PERCent:STATe", decodePercentState, nullptr},
        {"CALCulate:PERCent:REFerence", decodePercentReference, nullptr},
        {"CALCulate:PERCent:READ", decodePercentValue, nullptr},
        {"CALCulate:MAXMin:STATe", decodeMaxMinState, nullptr},
        {"CALCulate:MAXMin:ALL", decodeMaxMinValues, nullptr},
        {"CALCulate:COMPare:STATe", decodeCompareState, nullptr},
        {"CALCulate:COMPare:LOWer", decodeCompareLower, nullptr},
        {"CALCulate:COMPare:UPPer", decodeCompareUpper, nullptr},
        {"SYSTem:REMote", nullptr, &Varnok::decodeRemoteState},
        {"TRIGger:SOURce", decodeTriggerSource, nullptr},
        {"SYSTem:FLOAt", decodeFloating, nullptr},
        {"MEMory:STORe", nullptr, &Varnok::decodeStoreCount},
        {"MEMory:UPLoad", nullptr, &Varnok::decodeStoreUpload},
    };

    const QByteArray command = currentCommand->text();
    for (const Row &row : rows) {
        if (!command.startsWith(row.prefix))
            continue;
        bool wellFormed = true;
        if (row.record)
            wellFormed = row.record(*liveData, command, answer);
        else if (row.driver)
            wellFormed = (this->*row.driver)(answer);
        if (!wellFormed)
            qCDebug(driverLog, "malformed answer to %s: %s", qPrintable(quoted(command.trimmed())),
                    qPrintable(quoted(answer)));
        return;
    }
}

bool Varnok::decodeReading(const QByteArray &answer)
{
    const QByteArray command = currentCommand->text();
    const bool wellFormed = decodeFetch(*liveData, command, answer);
    // Only a reading of this connection's own may be emitted.
    readingDecoded = readingDecoded || wellFormed;
    return wellFormed;
}

bool Varnok::decodeRemoteState(const QByteArray &answer)
{
    const bool isRemote = answer != "NO";
    // A meter already in local mode when the connection began is no change
    // from the state last known, but is reported all the same, once.
    const bool firstLocal = !isRemote && !localReported;
    if (isRemote != remote || firstLocal) {
        remote = isRemote;
        if (state == 1) {
            localReported = localReported || !isRemote;
            emit remoteStateUpdate(remote);
        }
    }
    return isOneOf(answer, {"YES", "NO"});
}

void Varnok::convertDmmDataValues(DmmData *data)
{
    for (int i = 0; i < 2; ++i) {
        ChannelData *ch = data->lines[i]->channel;
        if (!ch) // no function answer has named this line's channel yet
            continue;
        const QString f = ch->functions[i].toUpper();
        const bool voltage = f == QLatin1String("VOLT") || f == QLatin1String("VPP");
        const bool power = f == QLatin1String("WATT");
        const bool decibel = f.startsWith(QLatin1String("DB"));
        const double v = ch->values[i];
        const DmmData::ValueMode mode = getValueMode(v);
        QString text;
        QString unit;

        if (mode != DmmData::ValueNormal) {
            if (voltage)
                unit = ch->rangeUnit;
            else if (power)
                unit = QStringLiteral("W");
            text = mode == DmmData::ValueNone ? getValueStr(mode)
                                              : QStringLiteral("  %1 ").arg(getValueStr(mode));
        } else {
            double x = v;
            int decimals = 3;
            if (voltage) {
                x = v * EngPrefix::rangeUnitFactor(ch->rangeUnit);
                decimals = EngPrefix::decimalsForDigits(5, toNumber(ch->rangeValue));
                unit = ch->rangeUnit + (f == QLatin1String("VPP") ? QStringLiteral("p-p") : QString());
            } else if (power) {
                QString prefix;
                convertValue(&x, &prefix);
                unit = prefix + QStringLiteral("W");
                decimals = EngPrefix::decimalsForDigits(5, x);
            } else if (!decibel) {
                // Functions the display has no rule for: five significant digits.
                decimals = EngPrefix::decimalsForDigits(5, x);
            }
            text = fixed(x, decimals);
        }

        if (decibel)
            unit = decibelUnit(f);
        unit = shared(withMicroSign(unit));
        const double value = mode == DmmData::ValueNormal ? v : 0;
        // Written only when they differ: a list shared with the live record
        // is not copied for nothing.
        if (ch->values.at(i) != value)
            ch->values[i] = value;
        if (ch->valueModes.at(i) != mode)
            ch->valueModes[i] = mode;
        ch->valueTexts[i] = text;
        ch->unitTexts[i] = unit;
    }

    for (ChannelData *ch : qAsConst(data->channels)) {
        const double g = ch->frequency;
        const DmmData::ValueMode mode = getValueMode(g);
        QString prefix;
        if (mode == DmmData::ValueNormal) {
            double x = g;
            convertValue(&x, &prefix);
            const int decimals = g < 1000 ? 1 : g < 100000 ? 2 : g < 1000000 ? 1 : 2;
            ch->frequencyText = fixed(x, decimals);
        } else {
            ch->frequencyText = getValueStr(mode);
        }
        ch->frequencyUnit = shared(prefix + QStringLiteral("Hz"));
    }
}
