#include "digittext.h"

namespace DigitText {

namespace {

constexpr int MostDigits = 9; // below 2^32

template <typename Char>
TextForm formOfText(const Char *text, int size, quint32 *digits)
{
    TextForm form;
    int at = 0;
    form.negative = size > 0 && text[0] == '-';
    at += form.negative ? 1 : 0;
    const int integerStart = at;
    quint64 value = 0;
    int count = 0;
    bool anyDigit = false;
    for (int i = 0; i < size; ++i)
        anyDigit = anyDigit || (text[i] >= '0' && text[i] <= '9');
    form.kind = anyDigit ? TextForm::Aside : TextForm::Verbatim;
    if (!anyDigit)
        return form;
    while (at < size && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + quint64(text[at] - '0');
        ++at;
        ++count;
    }
    const int integerDigits = at - integerStart;
    // One leading zero only, and only before the point: "0.5", never "05".
    if (integerDigits == 0 || (integerDigits > 1 && text[integerStart] == '0'))
        return form;
    int decimals = 0;
    if (at < size && text[at] == '.') {
        ++at;
        while (at < size && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + quint64(text[at] - '0');
            ++at;
            ++count;
            ++decimals;
        }
        if (decimals == 0)
            return form;
    }
    if (at != size || count > MostDigits)
        return form;
    form.kind = TextForm::Digits;
    form.decimals = quint8(decimals);
    *digits = quint32(value);
    return form;
}

} // namespace

TextForm formOf(QStringView text, quint32 *digits)
{
    return formOfText(text.utf16(), int(text.size()), digits);
}

TextForm formOf(const char *text, int size, quint32 *digits)
{
    return formOfText(text, size, digits);
}

void writeText(TextForm form, quint32 digits, QString *text)
{
    char buffer[24];
    char *end = buffer + sizeof buffer;
    char *at = end;
    int written = 0;
    do {
        *--at = char('0' + digits % 10);
        digits /= 10;
        ++written;
        if (written == form.decimals)
            *--at = '.';
    } while (digits > 0 || written <= form.decimals);
    if (form.negative)
        *--at = '-';
    const int size = int(end - at);
    text->resize(size);
    QChar *out = text->data();
    for (int i = 0; i < size; ++i)
        out[i] = QLatin1Char(at[i]);
}

} // namespace DigitText
