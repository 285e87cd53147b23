#include "readingshape.h"

#include "dmmdata.h"
#include "storedreading.h"

#include <QDataStream>
#include <QIODevice>

#include <cmath>

namespace {

void writeLine(QDataStream &out, const LineData &line)
{
    out << (line.channel ? line.channel->number : 0) << line.lineText << line.relState << line.relReference
        << line.holdState << line.holdWindow << line.holdCount << line.percentState << line.percentReference
        << line.percentValue << line.maxMinState << line.maxValue << line.minValue << line.compareState
        << line.compareLower << line.compareUpper;
}

void writeChannel(QDataStream &out, const ChannelData &channel)
{
    out << channel.number << channel.functions << channel.values << channel.valueModes << channel.valueTexts
        << channel.unitTexts << channel.rangeMode << channel.rangeValue << channel.rangeUnit << channel.frequency
        << channel.frequencyText << channel.frequencyUnit << channel.dbReference << channel.dbmReference
        << channel.floating;
}

void writeForm(QDataStream &out, const TextForm &form)
{
    out << quint8(form.kind) << form.decimals << form.negative;
}

bool counts(const DmmData &reading, int line)
{
    // A stored line the meter gave no digits for keeps an empty text and a
    // value of 0 that it never measured.
    const ChannelData *channel = reading.lines[line]->channel;
    return channel && !(reading.isStore && channel->valueTexts[line].isEmpty())
           && StoredReading::isNumber(channel->valueModes[line], channel->values[line]);
}

// A local time's offset from UTC: its wall-clock time less its instant,
// without asking the time zone again.
int wallClockOffset(const QDateTime &time, qint64 msecs)
{
    constexpr qint64 JulianDayOfEpoch = 2440588;
    const qint64 wallClock = (time.date().toJulianDay() - JulianDayOfEpoch) * 86400000 + time.time().msecsSinceStartOfDay();
    return int((wallClock - msecs) / 1000);
}

} // namespace

ReadingShape::ReadingShape() = default;
ReadingShape::ReadingShape(ReadingShape &&) noexcept = default;
ReadingShape &ReadingShape::operator=(ReadingShape &&) noexcept = default;
ReadingShape::~ReadingShape() = default;

QString *ReadingShape::textOf(DmmData *record, int slot) const
{
    if (slot < Channel1Frequency) {
        ChannelData *channel = record->lines[slot]->channel;
        return channel ? &channel->valueTexts[slot] : nullptr;
    }
    return &record->channels[slot - Channel1Frequency]->frequencyText;
}

ReadingShape ReadingShape::split(const DmmData &reading, StoredReading *own, MeterNumbers *numbers,
                                 QString aside[TextSlots])
{
    ReadingShape shape;
    shape.fixed = std::make_unique<DmmData>(reading);
    DmmData &fixed = *shape.fixed;
    fixed.isStore = reading.isStore;
    fixed.auxTime = reading.auxTime;
    fixed.auxValues = reading.auxValues;
    fixed.auxTexts = reading.auxTexts;
    fixed.auxCount = reading.auxCount;
    fixed.auxText = reading.auxText;
    fixed.auxText2 = reading.auxText2;
    fixed.auxInt2 = reading.auxInt2;
    fixed.auxText3 = reading.auxText3;
    fixed.auxInt3 = reading.auxInt3;

    shape.timed = reading.time.isValid();
    if (shape.timed) {
        own->msecs = reading.time.toMSecsSinceEpoch();
        shape.timeSpec = reading.time.timeSpec();
        shape.offsetFromUtc = shape.timeSpec == Qt::OffsetFromUTC ? reading.time.offsetFromUtc() : 0;
        if (shape.timeSpec == Qt::TimeZone)
            shape.zone = reading.time.timeZone();
    }

    LineData &first = *fixed.lines[0];
    *numbers = {first.percentValue, first.maxValue, first.minValue};
    first.percentValue = first.maxValue = first.minValue = 0;

    own->flags = 0;
    for (int line = 0; line < 2; ++line) {
        ChannelData *channel = fixed.lines[line]->channel;
        if (!channel)
            continue;
        own->values[line] = channel->values[line];
        channel->values[line] = 0;
        if (counts(reading, line))
            own->flags |= line == 0 ? StoredReading::Line1Counted : StoredReading::Line2Counted;
    }
    for (int index = 0; index < 2; ++index) {
        ChannelData &channel = *fixed.channels[index];
        own->frequencies[index] = channel.frequency;
        channel.frequency = 0;
    }
    quint32 *digits[TextSlots] = {&own->valueDigits[0], &own->valueDigits[1], &own->frequencyDigits[0],
                                  &own->frequencyDigits[1]};
    for (int slot = 0; slot < TextSlots; ++slot) {
        QString *text = shape.textOf(&fixed, slot);
        if (!text)
            continue;
        shape.forms[slot] = DigitText::formOf(*text, digits[slot]);
        if (shape.forms[slot].kind == TextForm::Aside)
            aside[slot] = *text;
        if (shape.forms[slot].kind != TextForm::Verbatim)
            text->clear();
    }

    QDataStream out(&shape.bytes, QIODevice::WriteOnly);
    out << fixed.isStore << fixed.auxTime << fixed.auxValues << fixed.auxTexts << fixed.auxCount << fixed.auxText
        << fixed.rate << fixed.triggerSource << fixed.auxText2 << fixed.auxInt2 << fixed.auxText3 << fixed.auxInt3;
    for (const LineData *line : fixed.lines)
        writeLine(out, *line);
    for (const ChannelData *channel : fixed.channels)
        writeChannel(out, *channel);
    for (const TextForm &form : shape.forms)
        writeForm(out, form);
    // A local time's offset from UTC parts shapes too: the journal writes
    // each reading at the offset it had, and the binary file beside it names
    // one journal line per shape.
    const int localOffset = shape.hasLocalTime() ? wallClockOffset(reading.time, own->msecs) : 0;
    out << shape.timed << int(shape.timeSpec) << shape.offsetFromUtc << shape.zone.id() << localOffset;
    return shape;
}

std::unique_ptr<DmmData> ReadingShape::join(const StoredReading &own, const MeterNumbers &numbers) const
{
    auto record = std::make_unique<DmmData>(*fixed);
    record->isStore = fixed->isStore;
    record->auxTime = fixed->auxTime;
    record->auxValues = fixed->auxValues;
    record->auxTexts = fixed->auxTexts;
    record->auxCount = fixed->auxCount;
    record->auxText = fixed->auxText;
    record->auxText2 = fixed->auxText2;
    record->auxInt2 = fixed->auxInt2;
    record->auxText3 = fixed->auxText3;
    record->auxInt3 = fixed->auxInt3;
    if (hasLocalTime())
        record->time = timeAt(own.msecs);
    refill(record.get(), own, numbers);
    return record;
}

QDateTime ReadingShape::timeAt(qint64 msecs) const
{
    return timeSpec == Qt::TimeZone ? QDateTime::fromMSecsSinceEpoch(msecs, zone)
                                    : QDateTime::fromMSecsSinceEpoch(msecs, timeSpec, offsetFromUtc);
}

void ReadingShape::refill(DmmData *record, const StoredReading &own, const MeterNumbers &numbers) const
{
    if (timed && !hasLocalTime())
        record->time = timeAt(own.msecs);
    LineData &first = *record->lines[0];
    first.percentValue = numbers.percent;
    first.maxValue = numbers.max;
    first.minValue = numbers.min;

    for (int line = 0; line < 2; ++line) {
        if (ChannelData *channel = record->lines[line]->channel)
            channel->values[line] = own.values[line];
    }
    for (int index = 0; index < 2; ++index)
        record->channels[index]->frequency = own.frequencies[index];
    const quint32 digits[TextSlots] = {own.valueDigits[0], own.valueDigits[1], own.frequencyDigits[0],
                                       own.frequencyDigits[1]};
    for (int slot = 0; slot < TextSlots; ++slot) {
        if (forms[slot].kind == TextForm::Digits)
            DigitText::writeText(forms[slot], digits[slot], textOf(record, slot));
    }
}

QString ReadingShape::function(int line) const
{
    const ChannelData *channel = fixed->lines[line]->channel;
    return channel ? channel->functions.value(line) : QString();
}

bool ReadingShape::keepsTextAside() const
{
    for (const TextForm &form : forms) {
        if (form.kind == TextForm::Aside)
            return true;
    }
    return false;
}

void ReadingShape::setAsideText(DmmData *record, int slot, const QString &text) const
{
    if (QString *place = textOf(record, slot))
        *place = text;
}
