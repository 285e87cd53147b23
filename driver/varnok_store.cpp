// Download of the readings stored in the meter's memory: a count query, then
// one upload query per reading, each queued only after the previous answer was
// decoded.
#include "varnok.h"

#include "engprefix.h"
#include "varnok_text.h"

#include <QMetaMethod>

namespace {

using varnoktext::toInteger;
using varnoktext::toNumber;

// Bits of the flags word that leads every stored reading.
enum StoreFlag : unsigned {
    Line1OnChannel1 = 1u << 0,
    Line2OnChannel1 = 1u << 1,
    Channel1Floating = 1u << 2,
    Channel2Floating = 1u << 3,
    Line1RangeAuto = 1u << 4,
    RelOn = 1u << 5,
    MaxMinOn = 1u << 6,
    HoldOn = 1u << 7,
};
constexpr int CompareShift = 8;
constexpr int RateShift = 10;
constexpr int TriggerShift = 12;

// Two-bit codes. The meter leaves code 3 of the rate and trigger fields
// unnamed; such a record keeps an empty text there rather than a guess.
QString codeText(unsigned flags, int shift, const QStringList &names)
{
    const int code = static_cast<int>((flags >> shift) & 3u);
    return code < names.size() ? names.at(code) : QString();
}

// Function name and unit text of a stored reading's unit.
void classifyUnit(const QString &unit, QString *function, QString *unitText)
{
    const QString lower = unit.toLower();
    if (lower == QLatin1String("v")) {
        *function = QStringLiteral("VOLT");
        *unitText = QStringLiteral("V");
    } else if (lower == QLatin1String("vpp")) {
        *function = QStringLiteral("VPP");
        *unitText = QStringLiteral("Vp-p");
    } else if (lower == QLatin1String("w")) {
        *function = QStringLiteral("WATT");
        *unitText = QStringLiteral("W");
    } else if (unit.toUpper().contains(QLatin1String("HZ"))) {
        *function = QStringLiteral("FREQ");
        *unitText = QStringLiteral("Hz");
    } else {
        *function = unit.toUpper();
        *unitText = QStringLiteral(" ");
    }
}

} // namespace

void Varnok::startGetAllStore()
{
    cmdGetMemoryStore();
    storeParam.total = 0;
    storeParam.num = 0;
    storeParam.transferState = StoreParam::StoreCounting;
}

void Varnok::stopGetStore()
{
    // A cancel before the count arrived wins too: the count then only
    // updates the total, and no upload starts behind the user's back.
    if (storeParam.transferState == StoreParam::StoreUploading
        || storeParam.transferState == StoreParam::StoreCounting)
        storeParam.transferState = StoreParam::StoreIdle;
}

const StoreParam &Varnok::getStoreParam() const
{
    return storeParam;
}

bool Varnok::decodeStoreCount(const QByteArray &answer)
{
    bool wellFormed = true;
    const int count = toInteger(answer, &wellFormed);
    wellFormed = wellFormed && count >= 0;
    // A negative count is no count; uploading "until -5" would never end.
    storeParam.total = qMax(0, count);
    if (storeParam.total == 0) {
        storeParam.transferState = StoreParam::StoreDone;
        emit storeNum(0, 0);
        return wellFormed;
    }
    if (storeParam.transferState != StoreParam::StoreCounting)
        return wellFormed;
    emit storeCount(storeParam.total);
    cmdMemoryUpload(storeParam.num + 1);
    storeParam.transferState = StoreParam::StoreUploading;
    return wellFormed;
}

bool Varnok::decodeStoreUpload(const QByteArray &answer)
{
    if (storeParam.transferState != StoreParam::StoreUploading)
        return true; // not asked for: nothing to judge it by
    DmmData *record = makeStoreData(answer);
    const bool wellFormed = record != nullptr;
    if (record) {
        // The receiver owns the record; with nobody listening it would leak.
        if (isSignalConnected(QMetaMethod::fromSignal(&Varnok::displayStore)))
            emit displayStore(record);
        else
            delete record;
    }
    ++storeParam.num;
    emit storeNum(storeParam.total, storeParam.num);
    // A receiver may have cancelled (or restarted) the transfer meanwhile.
    if (storeParam.transferState != StoreParam::StoreUploading)
        return wellFormed;
    // ">=": a count answer from elsewhere may have lowered the total meanwhile.
    if (storeParam.num >= storeParam.total)
        storeParam.transferState = StoreParam::StoreDone;
    else
        cmdMemoryUpload(storeParam.num + 1);
    return wellFormed;
}

DmmData *Varnok::makeStoreData(const QByteArray &record)
{
    const QList<QByteArray> fields = record.split(',');
    if (fields.size() != 5)
        return nullptr;

    const unsigned flags = static_cast<unsigned>(toInteger(fields[0]));
    auto *data = new DmmData;
    data->setIsStore(true);
    QList<ChannelData *> channels = data->getChannels();
    LineData &line1 = *data->lines[0];

    channels[0]->floating = flags & Channel1Floating;
    channels[1]->floating = flags & Channel2Floating;
    line1.channel = channels[(flags & Line1OnChannel1) ? 0 : 1];
    line1.channel->rangeMode = (flags & Line1RangeAuto) ? QStringLiteral("AUTO") : QStringLiteral("MANU");
    line1.relState = flags & RelOn;
    line1.maxMinState = flags & MaxMinOn;
    line1.holdState = flags & HoldOn;
    line1.compareState = codeText(flags, CompareShift,
                                  {QStringLiteral("OFF"), QStringLiteral("HI"), QStringLiteral("IN"), QStringLiteral("LO")});
    data->setRate(codeText(flags, RateShift, {QStringLiteral("FAST"), QStringLiteral("MED"), QStringLiteral("SLOW")}));
    data->setTriggerSource(codeText(flags, TriggerShift, {QStringLiteral("IMM"), QStringLiteral("MAN"), QStringLiteral("BUS")}));
    data->lines[1]->channel = channels[(flags & Line2OnChannel1) ? 0 : 1];

    for (int i = 0; i < 2; ++i) {
        ChannelData *ch = data->lines[i]->channel;
        QString number;
        QString unit;
        if (!detachValueUnit(QString::fromLatin1(fields[i + 1]), &number, &unit))
            continue;
        QString function;
        QString unitText;
        classifyUnit(unit, &function, &unitText);
        const double x = toNumber(number);
        const DmmData::ValueMode mode = getValueMode(x);
        QString valueText;
        double value = 0;
        if (mode != DmmData::ValueNormal) {
            valueText = getValueStr(mode);
        } else {
            const QString prefix = EngPrefix::scaleToPrefix(x).prefix;
            const double factor = *EngPrefix::factorOf(prefix);
            // Not x * (1 / factor): that is one ulp off for m and n, enough
            // to change a rounded last digit.
            const double scaled = x * (factor / (factor * factor));
            unitText = prefix + unitText;
            const int decimals = function.startsWith(QLatin1String("DB")) ? 3 : EngPrefix::decimalsForDigits(5, scaled);
            valueText = varnoktext::fixed(scaled, decimals);
            value = x;
        }
        if (function.startsWith(QLatin1String("DB")))
            unitText = EngPrefix::decibelUnit(function);

        ch->functions[i] = function;
        ch->valueModes[i] = mode;
        ch->values[i] = value;
        ch->valueTexts[i] = valueText;
        ch->unitTexts[i] = EngPrefix::withMicroSign(unitText);
    }

    if (line1.maxMinState) {
        const auto numberPart = [](const QByteArray &field) {
            QString number;
            QString unit;
            return detachValueUnit(QString::fromLatin1(field), &number, &unit) ? toNumber(number) : 0.0;
        };
        line1.maxValue = numberPart(fields[3]);
        line1.minValue = numberPart(fields[4]);
    }
    return data;
}
