#include "statisticsstrip.h"

#include "dmmdata.h"
#include "engprefix.h"
#include "itemdata.h"
#include "linereading.h"
#include "readingstore.h"

StatisticsStrip::StatisticsStrip(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("statisticsStrip"));
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setTextFormat(Qt::PlainText);
    setContentsMargins(4, 2, 4, 2);
    pending.setSingleShot(true);
    pending.setInterval(MinimumUpdateMs);
    connect(&pending, &QTimer::timeout, this, &StatisticsStrip::refresh);
}

void StatisticsStrip::setItem(const ItemData *shown)
{
    disconnect(appendedConnection);
    disconnect(clearedConnection);
    item = shown;
    if (item) {
        appendedConnection = connect(item, &ItemData::appended, this, &StatisticsStrip::scheduleRefresh);
        clearedConnection = connect(item, &ItemData::recordsAboutToGo, this, &StatisticsStrip::scheduleRefresh);
    }
    refresh();
}

void StatisticsStrip::setSpan(bool isZoomed, qint64 from, qint64 to)
{
    zoomed = isZoomed;
    fromMsecs = from;
    toMsecs = to;
    refresh();
}

void StatisticsStrip::scheduleRefresh()
{
    // The first reading after a quiet spell shows at once; a burst waits for the interval.
    if (!pending.isActive())
        pending.start();
}

void StatisticsStrip::refresh()
{
    pending.stop();
    const std::shared_ptr<const ReadingStore> store = item ? item->store() : nullptr;
    const qint64 count = store ? store->count() : 0;
    if (count == 0) {
        setText(QString());
        return;
    }
    // An item never mixes functions: its first reading names them.
    const std::unique_ptr<DmmData> first = store->record(0);
    QStringList lines;
    for (int line = 0; line < 2; ++line) {
        const QString function = LineReading::of(*first, line).function;
        const Moments whole = store->moments(line, 0, count);
        lines << lineText(line, function, whole, count - whole.n);
        if (zoomed) {
            const qint64 begin = store->lowerBound(fromMsecs);
            const qint64 end = store->lowerBound(toMsecs + 1);
            const Moments span = store->moments(line, begin, end);
            lines << tr("  zoomed: %1").arg(lineText(line, function, span, (end - begin) - span.n));
        }
    }
    setText(lines.join(QLatin1Char('\n')));
}

QString StatisticsStrip::lineText(int line, const QString &function, const Moments &m, qint64 leftOut) const
{
    const QString unit = EngPrefix::baseUnit(function);
    const auto value = [&unit](double x) { return EngPrefix::prefixedText(x, unit); };
    QString text = tr("Line%1 %2: n %3").arg(line + 1).arg(function).arg(m.n);
    if (!m.isEmpty()) {
        text += tr("   mean %1   sd %2   min %3   max %4   p-p %5")
                    .arg(value(m.mean), value(m.sampleSd()), value(m.min), value(m.max), value(m.peakToPeak()));
    }
    if (leftOut > 0)
        text += tr("   (%n left out: OL, Lo or no number)", nullptr, int(qMin<qint64>(leftOut, INT_MAX)));
    return text;
}
