#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QVector>

#include <optional>

// Numbers in engineering notation: a mantissa followed by a one-letter SI
// prefix (1.250m, 3.7k). The table is fixed; every function is pure.
namespace EngPrefix {

struct Entry
{
    QString text;
    double factor;
};

// T G M k K " " "" m u n p, by descending factor. Of the duplicate factors the
// first ("k", " ") wins when scaling; "K" and "" are only found by their text.
const QVector<Entry> &table();

struct Scaled
{
    double value;      // x divided by the chosen factor, sign kept
    double reciprocal; // 1 / factor; 1 for x == 0
    QString prefix;
};

// Picks the first entry in [first, last] whose factor |x| reaches (last + 1
// when none does), moves `shift` rows down the table and clamps to it. A
// negative `first` means 0; a `last` of -1 or past the end means the last row.
Scaled scaleToPrefix(double x, int shift = 0, int first = 0, int last = -1);

// Factor of the first entry whose text is exactly `prefix` (case-sensitive).
std::optional<double> factorOf(const QString &prefix);

// x times the prefix's factor; x itself when the prefix is not in the table.
double valueFromPrefixed(double x, const QString &prefix);

// T G M K m u n p and the lower/upper case forms a user may type for them
// (t g k U N P); never a space or an empty text.
bool isPrefixLetter(const QString &text);

// t g k -> T G K; U N P -> u n p; everything else (M and m included) as is.
QChar normalisePrefixLetter(QChar c);

// Decimals that show `digits` significant digits of x: digits - c, where c is
// the count of integer digits (truncated toward zero, so below 1 it is 0 or
// less and more decimals follow). Exact powers of ten count exactly.
int decimalsForDigits(int digits, double x);

// Unit of a decibel function: "DBM" -> "dBm", "DBV" -> "dBV", "DB" -> "dB".
QString decibelUnit(const QString &function);

// The meter writes micro as "u"; the display shows the real sign.
QString withMicroSign(QString unit);

// Factor from a voltage range's unit (V, mV, uV, any case) to the unit a
// reading sent in volts is shown in.
double rangeUnitFactor(const QString &rangeUnit);

// A number in plain SI units for files other programs read: the shortest text
// that reads back to the same double, '.' as decimal point in any locale,
// "NaN" for NaN.
QByteArray plainNumber(double x);

// A plain number with at most `digits` significant digits, as printf's %g:
// statistics printed no finer than the meter's readings (six digits),
// 2.10347e-05 rather than 2.1034699871e-05. "NaN" for NaN.
QByteArray plainNumberDigits(double x, int digits);

// The unit a function's readings are kept in, without a prefix: "V" for VOLT
// and VPP, "W" for WATT, the decibel unit for the DB functions, "Hz" for FREQ,
// and the empty text for anything else.
QString baseUnit(const QString &function);

// x with the prefix that suits it, `digits` significant digits and the unit:
// "122.95 mV", "1.2346 V"; decibel units (and an empty unit) keep x unscaled
// with 3 decimals: "-12.345 dBm". NaN gives "-".
QString prefixedText(double x, const QString &unit, int digits = 5);

// Reads what plainNumber writes (and any C-locale number); nullopt for
// anything else, an empty text included.
std::optional<double> readPlainNumber(const QByteArray &text);

// A number as a display shows it, fixed-point ("-1.2345", "12", "  0.300 "):
// its value and its count of decimals, so that a spreadsheet can show the
// same digits. Nullopt for anything else ("OL", "-----", empty).
struct Fixed
{
    double value;
    int decimals;
};
std::optional<Fixed> readFixed(const QString &text);

} // namespace EngPrefix
