#include "engprefix.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace EngPrefix {

const QVector<Entry> &table()
{
    static const QVector<Entry> entries{
        {QStringLiteral("T"), 1e12}, {QStringLiteral("G"), 1e9},   {QStringLiteral("M"), 1e6},
        {QStringLiteral("k"), 1e3},  {QStringLiteral("K"), 1e3},   {QStringLiteral(" "), 1},
        {QString(), 1},              {QStringLiteral("m"), 1e-3},  {QStringLiteral("u"), 1e-6},
        {QStringLiteral("n"), 1e-9}, {QStringLiteral("p"), 1e-12},
    };
    return entries;
}

Scaled scaleToPrefix(double x, int shift, int first, int last)
{
    if (x == 0)
        return {0, 1, QStringLiteral(" ")};

    const QVector<Entry> &entries = table();
    const int lastRow = entries.size() - 1;
    if (last < 0 || last > lastRow)
        last = lastRow;
    const double magnitude = std::fabs(x);
    int i = qMax(first, 0);
    while (i <= last && magnitude < entries[i].factor)
        ++i;
    const int chosen = qBound(0, i + shift, lastRow);
    const double reciprocal = 1 / entries[chosen].factor;
    return {x * reciprocal, reciprocal, entries[chosen].text};
}

std::optional<double> factorOf(const QString &prefix)
{
    for (const Entry &entry : table()) {
        if (entry.text == prefix)
            return entry.factor;
    }
    return std::nullopt;
}

double valueFromPrefixed(double x, const QString &prefix)
{
    return x * factorOf(prefix).value_or(1);
}

bool isPrefixLetter(const QString &text)
{
    static const QString letters = QStringLiteral("TGMKmunptgkUNP");
    return text.size() == 1 && letters.contains(text.at(0));
}

QChar normalisePrefixLetter(QChar c)
{
    switch (c.unicode()) {
    case 't':
    case 'g':
    case 'k':
        return c.toUpper();
    case 'U':
    case 'N':
    case 'P':
        return c.toLower();
    default:
        return c;
    }
}

namespace {

// The exponent e with 10^e <= a < 10^(e+1). log10 alone can land one off
// next to an exact power of ten, so the neighbours are checked.
int decadeOf(double a)
{
    int e = static_cast<int>(std::floor(std::log10(a)));
    if (a < std::pow(10.0, e))
        --e;
    else if (a >= std::pow(10.0, e + 1))
        ++e;
    return e;
}

} // namespace

int decimalsForDigits(int digits, double x)
{
    if (x == 0)
        return digits < 1 ? 0 : digits - 1;
    // No magnitude to count digits of.
    if (!std::isfinite(x))
        return 0;
    const double magnitude = std::fabs(x);
    const int e = decadeOf(magnitude);
    // Integer digits as the truncated logarithm plus one: below 1 the
    // logarithm truncates toward zero, so only an exact power of ten keeps e.
    const int integerDigits = (e >= 0 || magnitude == std::pow(10.0, e)) ? e + 1 : e + 2;
    if (integerDigits > digits)
        return 0;
    return digits - integerDigits;
}

QString decibelUnit(const QString &function)
{
    QString rest = function.mid(2);
    if (!rest.isEmpty() && rest.at(0) != QLatin1Char('V'))
        rest[0] = rest.at(0).toLower();
    return QStringLiteral("dB") + rest;
}

QString withMicroSign(QString unit)
{
    const int u = unit.indexOf(QLatin1Char('u'));
    if (u >= 0)
        unit[u] = QChar(0x03BC);
    return unit;
}

double rangeUnitFactor(const QString &rangeUnit)
{
    const QString unit = rangeUnit.toUpper();
    if (unit == QLatin1String("MV"))
        return 1e3;
    if (unit == QLatin1String("UV"))
        return 1e6;
    return 1;
}

QByteArray plainNumberDigits(double x, int digits)
{
    if (std::isnan(x))
        return plainNumber(x);
    return QByteArray::number(x, 'g', digits);
}

QString baseUnit(const QString &function)
{
    const QString upper = function.toUpper();
    if (upper == QLatin1String("VOLT") || upper == QLatin1String("VPP"))
        return QStringLiteral("V");
    if (upper == QLatin1String("WATT"))
        return QStringLiteral("W");
    if (upper == QLatin1String("FREQ"))
        return QStringLiteral("Hz");
    if (function.startsWith(QLatin1String("DB")))
        return decibelUnit(function);
    return QString();
}

QString prefixedText(double x, const QString &unit, int digits)
{
    if (std::isnan(x))
        return QStringLiteral("-");
    if (unit.isEmpty() || unit.startsWith(QLatin1String("dB")))
        return QStringLiteral("%1 %2").arg(x, 0, 'f', 3).arg(unit).trimmed();
    const Scaled scaled = scaleToPrefix(x);
    const QString prefix = withMicroSign(scaled.prefix.trimmed());
    return QStringLiteral("%1 %2%3").arg(scaled.value, 0, 'f', decimalsForDigits(digits, scaled.value)).arg(prefix, unit);
}

QByteArray plainNumber(double x)
{
    if (std::isnan(x))
        return QByteArrayLiteral("NaN");
    return QByteArray::number(x, 'g', QLocale::FloatingPointShortest);
}

std::optional<double> readPlainNumber(const QByteArray &text)
{
    if (text == "NaN")
        return std::numeric_limits<double>::quiet_NaN();
    bool ok = false;
    const double x = text.toDouble(&ok);
    return ok ? std::optional<double>(x) : std::nullopt;
}

std::optional<Fixed> readFixed(const QString &text)
{
    const QString number = text.trimmed();
    int at = number.startsWith(QLatin1Char('-')) || number.startsWith(QLatin1Char('+')) ? 1 : 0;
    int digits = 0;
    int decimals = -1;
    for (; at < number.size(); ++at) {
        const QChar c = number[at];
        if (c == QLatin1Char('.') && decimals < 0) {
            decimals = 0;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        ++digits;
        if (decimals >= 0)
            ++decimals;
    }
    if (digits == 0)
        return std::nullopt;
    return Fixed{number.toDouble(), qMax(decimals, 0)};
}

} // namespace EngPrefix
