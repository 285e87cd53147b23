#pragma once

#include <QString>

// A reading's display text ("12.345", "-0.020") kept as its digits and a small
// form shared by many readings: the number of decimals and the sign. Texts
// without a digit ("  OL ", "-----", "") repeat as they are and stay whole in
// the readings' shared part; a text with digits in any other form (a leading
// zero, more than nine digits) is kept aside, whole.
struct TextForm
{
    enum Kind : quint8 { Verbatim, Digits, Aside };
    Kind kind = Verbatim;
    quint8 decimals = 0;
    bool negative = false;

    bool operator==(const TextForm &o) const
    {
        return kind == o.kind && decimals == o.decimals && negative == o.negative;
    }
};

namespace DigitText {

// The form of `text` and, for Digits, its digits as one number.
TextForm formOf(QStringView text, quint32 *digits);
TextForm formOf(const char *text, int size, quint32 *digits);

// The text back from its form and digits (Digits only), into `text`: its
// storage is reused when it is its own and long enough.
void writeText(TextForm form, quint32 digits, QString *text);

} // namespace DigitText
