#include "linestatistics.h"

#include "engprefix.h"
#include "linereading.h"

#include <QJsonValue>

namespace {

// The meter sends its readings with six significant digits.
constexpr int ReadingDigits = 6;

} // namespace

void LineStatistics::add(const DmmData &record)
{
    for (int line = 0; line < 2; ++line) {
        const LineReading reading = LineReading::of(record, line);
        if (!reading.present)
            continue;
        int &latest = m_latest[line];
        if (latest < 0 || m_entries[size_t(latest)].function != reading.function) {
            latest = -1;
            for (size_t i = 0; i < m_entries.size(); ++i) {
                if (m_entries[i].line == line && m_entries[i].function == reading.function)
                    latest = int(i);
            }
            if (latest < 0) {
                m_entries.push_back({line, reading.function, {}, 0});
                latest = int(m_entries.size()) - 1;
            }
        }
        Entry &entry = m_entries[size_t(latest)];
        if (reading.isNumber())
            entry.moments.add(reading.value);
        else
            ++entry.leftOut;
    }
}

const LineStatistics::Entry *LineStatistics::latest(int line) const
{
    const int index = m_latest[line];
    return index < 0 ? nullptr : &m_entries[size_t(index)];
}

QStringList LineStatistics::journalTexts() const
{
    QStringList texts;
    for (const Entry &entry : m_entries) {
        QString text = QStringLiteral("Statistics Line%1 %2: n=%3").arg(entry.line + 1).arg(entry.function).arg(entry.moments.n);
        if (!entry.moments.isEmpty()) {
            const Moments &m = entry.moments;
            const auto number = [](double x) { return QString::fromLatin1(EngPrefix::plainNumberDigits(x, ReadingDigits)); };
            text += QStringLiteral(" mean=%1 sd=%2 min=%3 max=%4")
                        .arg(number(m.mean), number(m.sampleSd()), number(m.min), number(m.max));
        }
        texts.append(text);
    }
    return texts;
}

QJsonObject LineStatistics::json() const
{
    QJsonObject lines;
    for (int line = 0; line < 2; ++line) {
        const Entry *entry = latest(line);
        if (!entry)
            continue;
        const Moments &m = entry->moments;
        const auto number = [&m](double x) { return m.isEmpty() ? QJsonValue() : QJsonValue(x); };
        lines.insert(QStringLiteral("line%1").arg(line + 1),
                     QJsonObject{{QStringLiteral("function"), entry->function},
                                 {QStringLiteral("n"), m.n},
                                 {QStringLiteral("mean"), number(m.mean)},
                                 {QStringLiteral("sd"), number(m.sampleSd())},
                                 {QStringLiteral("min"), number(m.min)},
                                 {QStringLiteral("max"), number(m.max)},
                                 {QStringLiteral("leftOut"), entry->leftOut}});
    }
    return lines;
}
