#pragma once

// Records for the store's and the journal reader's tests: readings as the
// driver copies them, and every field of a record as one text.

#include "dmmdata.h"

#include <QStringList>

#include <memory>

// Every field of a record, as text: two records are equal when their texts are.
inline QString dump(const DmmData &r)
{
    QStringList out;
    out << r.time.toString(Qt::ISODateWithMs) << QString::number(r.time.timeSpec())
        << QString::number(r.time.offsetFromUtc()) << QString::number(r.isStore) << r.rate << r.triggerSource
        << r.auxText << QString::number(r.auxCount);
    for (const LineData *l : r.lines) {
        out << QString::number(l->channel ? l->channel->number : 0) << l->lineText << QString::number(l->relState)
            << QString::number(l->relReference) << QString::number(l->holdState) << QString::number(l->holdWindow)
            << QString::number(l->holdCount) << QString::number(l->percentState)
            << QString::number(l->percentReference) << QString::number(l->percentValue)
            << QString::number(l->maxMinState) << QString::number(l->maxValue) << QString::number(l->minValue)
            << l->compareState << QString::number(l->compareLower) << QString::number(l->compareUpper);
    }
    for (const ChannelData *c : r.channels) {
        out << QString::number(c->number) << c->functions << c->valueTexts << c->unitTexts << c->rangeMode
            << c->rangeValue << c->rangeUnit << QString::number(c->frequency, 'g', 17) << c->frequencyText
            << c->frequencyUnit << QString::number(c->dbReference) << QString::number(c->dbmReference)
            << QString::number(c->floating);
        for (int i = 0; i < 2; ++i)
            out << QString::number(c->values[i], 'g', 17) << QString::number(c->valueModes[i]);
    }
    return out.join(QLatin1Char('|'));
}

inline const QDateTime Start =
    QDateTime::fromString(QStringLiteral("2026-03-29T01:59:58.250+01:00"), Qt::ISODateWithMs);

// A reading as the driver copies one: CH1 on line 1, CH2 on line 2, volts.
inline std::unique_ptr<DmmData> volts(int n, double value1 = 0.012345, double value2 = 1.5)
{
    auto r = std::make_unique<DmmData>();
    r->time = Start.addMSecs(250 * n);
    r->rate = QStringLiteral("FAST");
    r->lines[0]->channel = r->channels[0];
    r->lines[1]->channel = r->channels[1];
    for (int line = 0; line < 2; ++line) {
        ChannelData *c = r->channels[line];
        c->functions[line] = QStringLiteral("VOLT");
        c->values[line] = line == 0 ? value1 : value2;
        c->valueTexts[line] = line == 0 ? QString::number(value1 * 1000, 'f', 3) : QString::number(value2, 'f', 4);
        c->unitTexts[line] = line == 0 ? QStringLiteral("mV") : QStringLiteral("V");
        c->rangeMode = QStringLiteral("AUTO");
        c->rangeValue = QStringLiteral("300");
        c->rangeUnit = line == 0 ? QStringLiteral("mV") : QStringLiteral("V");
        c->frequency = 1000.0 + n % 7 * 0.1;
        c->frequencyText = QString::number(c->frequency / 1000, 'f', 2);
        c->frequencyUnit = QStringLiteral("kHz");
    }
    return r;
}

inline void setState(DmmData *r, int line, DmmData::ValueMode mode, const QString &text)
{
    ChannelData *c = r->lines[line]->channel;
    c->valueModes[line] = mode;
    c->values[line] = 0;
    c->valueTexts[line] = text;
}
