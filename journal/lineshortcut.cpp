#include "lineshortcut.h"

#include "digittext.h"
#include "dmmdata.h"
#include "readingstore.h"
#include "storedreading.h"

#include <QDate>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int LineFields = 22;
constexpr qint64 JulianDayOfEpoch = 2440588;

struct Field
{
    const char *text;
    int size;

    bool is(const char *word) const { return size == int(std::strlen(word)) && std::memcmp(text, word, size) == 0; }
};

bool digitsAt(const char *text, int from, int count, int *value)
{
    int v = 0;
    for (int i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

// A number as the journal writes one ("NaN" or a C-locale number); false
// for anything the full reader should judge.
bool readNumber(const Field &field, double *value)
{
    if (field.is("NaN")) {
        *value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (field.size == 0)
        return false;
    for (int i = 0; i < field.size; ++i) {
        const char c = field.text[i];
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || (c == '+' && i > 0)))
            return false;
    }
    const std::from_chars_result result = std::from_chars(field.text, field.text + field.size, *value);
    return result.ec == std::errc() && result.ptr == field.text + field.size;
}

int modeOf(const Field &status)
{
    if (status.size == 0)
        return DmmData::ValueNormal;
    if (status.is("Lo"))
        return DmmData::ValueLow;
    if (status.is("OL"))
        return DmmData::ValueOverload;
    if (status.is("-----"))
        return DmmData::ValueNone;
    return -1;
}

double sentinelNamed(const Field &text, double otherwise)
{
    const int mode = text.size > 0 ? modeOf(text) : -1;
    return mode == DmmData::ValueLow        ? DmmData::LowSentinel
           : mode == DmmData::ValueOverload ? DmmData::OverloadSentinel
           : mode == DmmData::ValueNone     ? DmmData::NoneSentinel
                                            : otherwise;
}

void addToKey(QByteArray &key, const Field &field)
{
    key.append(field.text, field.size);
    key.append('\0');
}

// A display text's form joins the key; its digits go to the reading.
bool addText(QByteArray &key, const Field &field, quint32 *digits)
{
    const TextForm form = DigitText::formOf(field.text, field.size, digits);
    if (form.kind == TextForm::Aside)
        return false;
    key.append(char(form.kind));
    key.append(char(form.decimals));
    key.append(char(form.negative));
    if (form.kind == TextForm::Verbatim)
        addToKey(key, field);
    return true;
}

} // namespace

LineShortcut::LineShortcut(ReadingStore *store) : store(store) {}

bool LineShortcut::readTime(const char *t, int size, qint64 *msecs)
{
    // YYYY-MM-DDThh:mm:ss.zzz+hh:mm, as the writer writes every time.
    if (size != 29 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' || t[19] != '.'
        || (t[23] != '+' && t[23] != '-') || t[26] != ':')
        return false;
    if (day.size() != 10 || std::memcmp(day.constData(), t, 10) != 0) {
        int year, month, dayOfMonth;
        if (!digitsAt(t, 0, 4, &year) || !digitsAt(t, 5, 2, &month) || !digitsAt(t, 8, 2, &dayOfMonth))
            return false;
        const QDate date(year, month, dayOfMonth);
        if (!date.isValid())
            return false;
        day = QByteArray(t, 10);
        dayMsecs = (date.toJulianDay() - JulianDayOfEpoch) * 86400000;
    }
    int hour, minute, second, msec, offsetHours, offsetMinutes;
    if (!digitsAt(t, 11, 2, &hour) || !digitsAt(t, 14, 2, &minute) || !digitsAt(t, 17, 2, &second)
        || !digitsAt(t, 20, 3, &msec) || !digitsAt(t, 24, 2, &offsetHours) || !digitsAt(t, 27, 2, &offsetMinutes)
        || hour > 23 || minute > 59 || second > 59)
        return false;
    const qint64 offset = (t[23] == '-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
    *msecs = dayMsecs + ((hour * 60 + minute) * 60 + second) * qint64(1000) + msec - offset * 1000;
    return true;
}

bool LineShortcut::parse(const QByteArray &line, StoredReading *own)
{
    if (line.contains('"'))
        return false;
    Field fields[LineFields];
    int count = 0;
    const char *at = line.constData();
    const char *end = at + line.size();
    for (;;) {
        const char *comma = static_cast<const char *>(std::memchr(at, ',', size_t(end - at)));
        const char *fieldEnd = comma ? comma : end;
        if (count == LineFields)
            return false;
        fields[count++] = {at, int(fieldEnd - at)};
        if (!comma)
            break;
        at = comma + 1;
    }
    if (count != LineFields || fields[0].size == 0 || fields[0].size > 18)
        return false;
    for (int i = 0; i < fields[0].size; ++i) {
        if (fields[0].text[i] < '0' || fields[0].text[i] > '9')
            return false;
    }
    if (!readTime(fields[1].text, fields[1].size, &own->msecs))
        return false;

    key.clear();
    key.append(fields[1].text + 23, 6); // the offset from UTC
    own->flags = 0;
    for (int line = 0; line < 2; ++line) {
        const Field *f = fields + 2 + 6 * line;
        const int mode = modeOf(f[3]);
        double value = 0;
        if (!(f[1].is("1") || f[1].is("2")) || mode < 0 || !readNumber(f[2], &value))
            return false;
        own->values[line] = mode == DmmData::ValueNormal ? value : 0;
        if (StoredReading::isNumber(mode, value))
            own->flags |= line == 0 ? StoredReading::Line1Counted : StoredReading::Line2Counted;
        addToKey(key, f[0]);
        addToKey(key, f[1]);
        addToKey(key, f[3]);
        addToKey(key, f[5]);
        if (!addText(key, f[4], &own->valueDigits[line]))
            return false;
    }
    for (int channel = 0; channel < 2; ++channel) {
        const Field *f = fields + 14 + 4 * channel;
        double frequency = 0;
        if (!readNumber(f[0], &frequency))
            return false;
        // A NaN the text names was the meter's sentinel, as the full reader reads it.
        if (std::isnan(frequency))
            frequency = sentinelNamed(f[1], frequency);
        own->frequencies[channel] = frequency;
        addToKey(key, f[2]);
        addToKey(key, f[3]);
        if (!addText(key, f[1], &own->frequencyDigits[channel]))
            return false;
    }
    return true;
}

bool LineShortcut::append(const QByteArray &line)
{
    StoredReading own;
    if (!following || !parse(line, &own) || key != followedKey)
        return false;
    store->appendLikeLast(own);
    return true;
}

void LineShortcut::follow(const QByteArray &line)
{
    StoredReading own;
    following = parse(line, &own);
    followedKey = key;
}
