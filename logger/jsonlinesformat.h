#pragma once

#include "logformat.h"

// One JSON object per line: {"no":1,"time":"...","line1":{...},"line2":{...},
// "ch1":{...},"ch2":{...}}; a note is {"note":"..."}.
class JsonLinesFormat : public LogFormat
{
public:
    QByteArray opening() const override;
    QByteArray reading(qint64 number, const DmmData &record) const override;
    QByteArray note(const QString &text) const override;
    QByteArray closing(const QDateTime &when, qint64 readings) const override;
};
