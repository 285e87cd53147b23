#include "statisticsstrip.h"

#include "engprefix.h"
#include "itemdata.h"
#include "readingstore.h"

#include <algorithm>

StatisticsStrip::StatisticsStrip(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("statisticsStrip"));
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setTextFormat(Qt::RichText);
    setToolTip(tr("Readings with a status (OL, Lo) or no number are left out"));
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

void StatisticsStrip::setSpan(bool isZoomed, qint64 first, qint64 last)
{
    zoomed = isZoomed;
    spanFirst = first;
    spanLast = last;
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
    QList<Row> rows;
    for (int line = 0; line < 2; ++line) {
        // A recorded item never mixes functions; the meter's memory does,
        // and readings in units of their own are not summed up together.
        const QStringList functions = store->functions(line);
        const QString function = functions.join(QLatin1Char('/'));
        const bool oneUnit = functions.size() <= 1;
        const Moments whole = store->moments(line, 0, count);
        rows << Row{tr("Line%1 %2").arg(line + 1).arg(function), function, oneUnit, whole, count - whole.n};
        if (zoomed) {
            const qint64 begin = qBound<qint64>(0, spanFirst, count);
            const qint64 end = qBound(begin, spanLast + 1, count);
            const Moments span = store->moments(line, begin, end);
            rows << Row{tr("zoomed"), function, oneUnit, span, (end - begin) - span.n};
        }
    }
    setText(table(rows));
}

QString StatisticsStrip::table(const QList<Row> &rows) const
{
    // A column for left-out readings only when there are some: the strip
    // must fit beside the control panel at the window's first size.
    const bool anyLeftOut = std::any_of(rows.cbegin(), rows.cend(), [](const Row &row) { return row.leftOut > 0; });
    const auto cell = [](const QString &text, const char *align = "right") {
        return QStringLiteral("<td align=\"%1\" style=\"padding-left: 8px\">%2</td>").arg(QLatin1String(align), text.toHtmlEscaped());
    };
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\"><tr><td></td>");
    QStringList titles{tr("n"), tr("mean"), tr("sd"), tr("min"), tr("max"), tr("p-p")};
    if (anyLeftOut)
        titles << tr("left out");
    for (const QString &title : titles)
        html += QStringLiteral("<th align=\"right\" style=\"padding-left: 8px\">%1</th>").arg(title.toHtmlEscaped());
    html += QStringLiteral("</tr>");
    for (const Row &row : rows) {
        const QString unit = EngPrefix::baseUnit(row.function);
        const auto value = [&unit](double x) { return EngPrefix::prefixedText(x, unit); };
        html += QStringLiteral("<tr>") + cell(row.title, "left") + cell(QString::number(row.moments.n));
        const Moments &m = row.moments;
        const QStringList values = m.isEmpty() || !row.oneUnit ? QStringList{{}, {}, {}, {}, {}}
                                               : QStringList{value(m.mean), value(m.sampleSd()), value(m.min),
                                                             value(m.max), value(m.peakToPeak())};
        for (const QString &text : values)
            html += cell(text);
        if (anyLeftOut)
            html += cell(row.leftOut > 0 ? QString::number(row.leftOut) : QString());
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}
