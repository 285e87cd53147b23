// Reading states and the engineering scaling shared by the live and the
// stored readings.
#include "varnok.h"


DmmData::ValueMode Varnok::getValueMode(double value)
{
    // The meter sends these exact numbers in place of a reading.
    if (value == DmmData::NoneSentinel)
        return DmmData::ValueNone;
    if (value == DmmData::OverloadSentinel)
        return DmmData::ValueOverload;
    if (value == DmmData::LowSentinel)
        return DmmData::ValueLow;
    return DmmData::ValueNormal;
}

QString Varnok::getValueStr(DmmData::ValueMode mode)
{
    switch (mode) {
    case DmmData::ValueLow:
        return QStringLiteral("Lo");
    case DmmData::ValueOverload:
        return QStringLiteral("OL");
    case DmmData::ValueNone:
        return QStringLiteral("-----");
    case DmmData::ValueNormal:
        break;
    }
    return QString();
}

void Varnok::convertValue(double *value, QString *prefix)
{
    static const QString smaller[] = {QStringLiteral("m"), QString(QChar(0x03BC))};
    static const QString larger[] = {QStringLiteral("k"), QStringLiteral("M")};

    double v = *value;
    QString chosen;
    if (v == 0) {
        // nothing to scale
    } else if (v < 1) {
        for (int step = 0; step < 2 && v < 1; ++step) {
            v *= 1000;
            chosen = smaller[step];
        }
    } else if (v >= 1000) {
        for (int step = 0; step < 2 && v >= 1000; ++step) {
            v /= 1000;
            chosen = larger[step];
        }
    }
    *value = v;
    *prefix = chosen;
}

bool Varnok::detachValueUnit(const QString &text, QString *number, QString *unit)
{
    for (int n = text.size() - 1; n >= 0; --n) {
        const QChar c = text.at(n);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            *number = text.left(n + 1);
            *unit = text.mid(n + 1);
            return true;
        }
    }
    return false;
}
