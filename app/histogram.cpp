#include "histogram.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace HistogramLayout {

QVector<int> binCounts(const QVector<Range> &ranges, const QVector<double> &samples)
{
    QVector<int> counts(ranges.size(), 0);
    for (int m = 0; m < ranges.size(); ++m) {
        const Range &range = ranges[m];
        for (double v : samples) {
            if ((m == 0 || range.first < v) && v <= range.second)
                ++counts[m];
        }
    }
    return counts;
}

Layout layout(const QVector<int> &counts, QSizeF plotSize)
{
    Layout result;
    for (int count : counts)
        result.largestCount = std::max(result.largestCount, count);
    result.pixelsPerCount = (plotSize.width() - 1) / result.largestCount;
    if (result.pixelsPerCount > 0)
        result.countStep = result.pixelsPerCount >= 50 ? 1 : static_cast<int>(std::ceil(50 / result.pixelsPerCount));
    if (!counts.isEmpty())
        result.slotHeight = plotSize.height() / counts.size();
    const double slot = result.slotHeight;
    for (int m = 0; m < counts.size(); ++m) {
        const int width = std::max(1, static_cast<int>(counts[m] * std::max(result.pixelsPerCount, 0.0)));
        result.bars.append(QRectF(0, 0.1 * slot - (m + 1) * slot, width, 0.8 * slot));
    }
    return result;
}

RangeLabel rangeLabel(const QVector<Range> &ranges, int m, int decimals)
{
    if (m == 0)
        return {QStringLiteral("-OL "), QString()};
    if (m == ranges.size() - 1)
        return {QString(), QStringLiteral("OL ")};
    return {QString::number(ranges[m].first, 'f', decimals) + QLatin1Char('x'),
            QString::number(ranges[m].second, 'f', decimals) + QLatin1Char(' ')};
}

QString countText(int count)
{
    return QStringLiteral("%1 ").arg(count);
}

} // namespace HistogramLayout

Histogram::Histogram(QWidget *parent) : QWidget(parent) {}

void Histogram::setMargins(int left, int top, int right, int bottom)
{
    marginLeft = left;
    marginTop = top;
    marginRight = right;
    marginBottom = bottom;
    invalidate();
}

void Histogram::setRanges(const QVector<HistogramLayout::Range> &newRanges)
{
    ranges = newRanges;
    recount();
}

void Histogram::clear()
{
    samples.clear();
    recount();
}

void Histogram::setHorizontalTitle(const QString &title)
{
    if (title == horizontalTitle)
        return;
    horizontalTitle = title;
    invalidate();
}

void Histogram::setVerticalTitle(const QString &title)
{
    if (title == verticalTitle)
        return;
    verticalTitle = title;
    invalidate();
}

void Histogram::recount()
{
    counts = HistogramLayout::binCounts(ranges, samples);
    invalidate();
}

void Histogram::invalidate()
{
    dirty = true;
    update();
}

void Histogram::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    dirty = true;
}

void Histogram::paintEvent(QPaintEvent *)
{
    plotRect = QRectF(0, 0, width() - marginRight - marginLeft, height() - marginBottom - marginTop);
    if (dirty || picture.size() != size()) {
        dirty = false;
        picture = QPixmap(size());
        picture.fill(Qt::white);
        if (plotRect.width() > 0 && plotRect.height() > 0) {
            const HistogramLayout::Layout layout = HistogramLayout::layout(counts, plotRect.size());
            QPainter painter(&picture);
            drawAxes(painter, layout);
            drawBars(painter, layout);
        }
    }
    QPainter(this).drawPixmap(0, 0, picture);
}

void Histogram::drawAxes(QPainter &painter, const HistogramLayout::Layout &layout) const
{
    const QFontMetrics metrics = painter.fontMetrics();
    const int h = metrics.height();
    const double plotWidth = plotRect.width();
    const double plotHeight = plotRect.height();

    painter.save();
    painter.setWindow(-marginLeft, marginBottom - height(), width(), height());
    painter.drawLine(QPointF(-1, 1), QPointF(plotWidth, 1));
    painter.drawLine(QPointF(-1, 1), QPointF(-1, -plotHeight));
    if (layout.countStep > 0) {
        for (int i = 0;; ++i) {
            const int count = i * layout.countStep;
            const int x = static_cast<int>(count * layout.pixelsPerCount) - 1;
            if (x > plotWidth)
                break;
            painter.drawLine(x, 1, x, 1 + 5);
            const QString text = QString::number(count);
            const int w = metrics.horizontalAdvance(text);
            painter.drawText(QRect(x - w / 2, 1 + 5, w, h), Qt::AlignCenter, text);
        }
    }
    const int fieldWidth = metrics.horizontalAdvance(QStringLiteral("0000.0 "));
    painter.setPen(Qt::black);
    for (int m = 0; m < layout.bars.size(); ++m) {
        const QRectF &bar = layout.bars[m];
        const HistogramLayout::RangeLabel label = HistogramLayout::rangeLabel(ranges, m, decimals);
        const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
        painter.drawText(QRectF(-fieldWidth, bar.top(), fieldWidth, h), right, label.upper);
        painter.drawText(QRectF(-fieldWidth, bar.bottom() - h, fieldWidth, h), right, label.lower);
        if (bar.height() >= 3 * h)
            painter.drawText(QRectF(-fieldWidth, bar.center().y() - h / 2.0, fieldWidth, h), right,
                             QStringLiteral("|"));
    }
    painter.restore();

    const int verticalWidth = metrics.horizontalAdvance(verticalTitle);
    painter.save();
    painter.translate((marginLeft - metrics.horizontalAdvance(QStringLiteral("0000.1"))) / 2.0 - h / 2.0,
                      verticalWidth / 2.0 + (height() - marginBottom - marginTop) / 2.0 + marginTop);
    painter.rotate(-90);
    painter.drawText(QRect(0, 0, verticalWidth, h), Qt::AlignCenter, verticalTitle);
    painter.restore();
    const int horizontalWidth = metrics.horizontalAdvance(horizontalTitle);
    painter.drawText(QRect(marginLeft + (width() - marginLeft - marginRight) / 2 - verticalWidth,
                           height() - marginBottom + h + (marginBottom - h) / 2, horizontalWidth, h),
                     Qt::AlignCenter, horizontalTitle);
}

void Histogram::drawBars(QPainter &painter, const HistogramLayout::Layout &layout) const
{
    const QFontMetrics metrics = painter.fontMetrics();
    painter.save();
    painter.setWindow(-marginLeft, marginBottom - height(), width(), height());
    for (int m = 0; m < layout.bars.size(); ++m) {
        const QRectF &bar = layout.bars[m];
        painter.fillRect(bar, QColor(250, 150, 0));
        const QString text = HistogramLayout::countText(counts.value(m));
        const double w = metrics.horizontalAdvance(text);
        QRectF box(bar.left(), bar.top(), w, bar.height());
        if (w <= bar.width())
            box.moveLeft(bar.center().x() - w / 2);
        else
            box.moveLeft(bar.right());
        painter.setPen(QColor(0, 100, 250));
        painter.drawText(box, Qt::AlignCenter, text);
    }
    painter.restore();
}
