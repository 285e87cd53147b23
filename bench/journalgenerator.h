#pragma once

// Synthetic journals as a long recording writes them: readings 200 ms apart
// on both lines, an overload and a spike now and then, the meter's own texts.

#include "benchitems.h"
#include "journalformat.h"

#include <QFile>

#include <memory>
#include <vector>

// `closed` false leaves the closing line out, as a crash does.
inline bool writeJournal(const QString &path, qint64 readings, bool closed = true)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    Readings made;
    std::vector<std::unique_ptr<DmmData>> kinds;
    for (int n = 0; n < 997; ++n)
        kinds.emplace_back(made.next(n));
    std::unique_ptr<DmmData> overload(made.next(0));
    ChannelData &line1 = *overload->lines[0]->channel;
    line1.valueModes[0] = DmmData::ValueOverload;
    line1.values[0] = 0;
    line1.valueTexts[0] = QStringLiteral("  OL ");
    std::unique_ptr<DmmData> spike(made.next(0));
    spike->lines[0]->channel->values[0] = 0.2875;
    spike->lines[0]->channel->valueTexts[0] = QStringLiteral("287.50");

    JournalHeader header;
    header.program = QStringLiteral("dmmlog");
    header.itemName = QStringLiteral("Generated");
    const qint64 start = QDateTime(QDate(2026, 3, 1), QTime(0, 0), Qt::OffsetFromUTC, 3600).toMSecsSinceEpoch();
    header.started = QDateTime::fromMSecsSinceEpoch(start, Qt::OffsetFromUTC, 3600);
    QByteArray out = JournalFormat::headerText(header);
    for (qint64 n = 0; n < readings; ++n) {
        DmmData &record = n % 100003 == 50000 ? *overload : n % 1000033 == 777 ? *spike : *kinds[size_t(n % 997)];
        record.time = QDateTime::fromMSecsSinceEpoch(start + n * 200, Qt::OffsetFromUTC, 3600);
        out += JournalFormat::recordLine(n + 1, record);
        if (out.size() > (1 << 20)) {
            if (file.write(out) != out.size())
                return false;
            out.clear();
        }
    }
    if (closed)
        out += JournalFormat::closingLine(
            QDateTime::fromMSecsSinceEpoch(start + readings * 200, Qt::OffsetFromUTC, 3600), readings);
    return file.write(out) == out.size();
}
