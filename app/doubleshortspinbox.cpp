#include "doubleshortspinbox.h"

#include "engprefix.h"

#include <cfloat>
#include <cmath>

namespace {

// As many decimals as a double can carry, so that the base class never rounds.
constexpr int FullPrecision = DBL_MAX_10_EXP + DBL_DIG;

} // namespace

DoubleShortSpinBox::DoubleShortSpinBox(QWidget *parent) : QDoubleSpinBox(parent)
{
    setDecimals(significantDigits);
}

void DoubleShortSpinBox::setDecimals(int n)
{
    significantDigits = n;
    QDoubleSpinBox::setDecimals(FullPrecision);
}

QString DoubleShortSpinBox::textFromValue(double value) const
{
    const EngPrefix::Scaled scaled = EngPrefix::scaleToPrefix(value);
    QLocale shown = locale();
    shown.setNumberOptions(QLocale::OmitGroupSeparator);
    const int decimals = EngPrefix::decimalsForDigits(significantDigits, scaled.value);
    return shown.toString(scaled.value, 'f', decimals) + scaled.prefix;
}

bool DoubleShortSpinBox::toNumber(const QString &text, double *number) const
{
    // The widget's own locale first, as the box shows numbers; then the C
    // locale, so that 1.5 typed under a decimal comma is not read as 15.
    QLocale typed = locale();
    typed.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double x = typed.toDouble(text, &ok);
    if (!ok)
        x = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(x))
        return false;
    *number = x;
    return true;
}

bool DoubleShortSpinBox::parse(const QString &text, double *value) const
{
    if (text.isEmpty())
        return false;
    const QString last = text.right(1);
    if (!EngPrefix::isPrefixLetter(last))
        return toNumber(text, value);
    double mantissa = 0;
    if (!toNumber(text.chopped(1), &mantissa))
        return false;
    const QString prefix(EngPrefix::normalisePrefixLetter(last.at(0)));
    const double scaled = EngPrefix::valueFromPrefixed(mantissa, prefix);
    if (!std::isfinite(scaled))
        return false;
    *value = scaled;
    return true;
}

QValidator::State DoubleShortSpinBox::validate(QString &input, int &pos) const
{
    const QString text = input.trimmed();
    if (pos == 0)
        return QValidator::Intermediate;
    if (pos == 1 && !text.isEmpty()
        && (text.at(0) == QLatin1Char('+') || text.at(0) == QLatin1Char('-') || EngPrefix::isPrefixLetter(text.left(1))))
        return QValidator::Intermediate;
    double value = 0;
    return parse(text, &value) ? QValidator::Acceptable : QValidator::Invalid;
}

double DoubleShortSpinBox::valueFromText(const QString &text) const
{
    double parsed = 0;
    return parse(text.trimmed(), &parsed) ? parsed : value();
}
