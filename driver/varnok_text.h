#pragma once

// Text helpers shared by the live and the stored-reading decoders. Internal to
// the driver library.

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cmath>

namespace varnoktext {

// Decimal floating-point text; anything else, including "nan" and values too
// large for a double, gives 0 and clears *valid when given.
inline double toNumber(const QByteArray &text, bool *valid = nullptr)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    ok = ok && std::isfinite(value);
    if (valid && !ok)
        *valid = false;
    return ok ? value : 0;
}

inline double toNumber(const QString &text)
{
    return toNumber(text.toLatin1());
}

// Decimal integer text; anything else gives 0 and clears *valid when given.
inline int toInteger(const QByteArray &text, bool *valid = nullptr)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (valid && !ok)
        *valid = false;
    return ok ? value : 0;
}

inline QString fixed(double value, int decimals)
{
    return QStringLiteral("%1").arg(value, 0, 'f', decimals, QLatin1Char(' '));
}

} // namespace varnoktext
