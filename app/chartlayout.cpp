#include "chartlayout.h"

#include "dmmdata.h"
#include "engprefix.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace ChartLayout {

namespace {

// Pixel positions come from doubles; the few that can lie far outside the
// widget (a reading far off a zoomed range) must still convert defined.
int toPixel(double v)
{
    return static_cast<int>(std::clamp(v, -1e9, 1e9));
}

int toCount(double v)
{
    return static_cast<int>(std::min(v, static_cast<double>(INT_MAX)));
}

} // namespace

bool isDrawable(double value)
{
    // The smallest sentinel magnitude (overload and low; no value is above it).
    return std::isfinite(value) && std::fabs(value) < DmmData::OverloadSentinel;
}

int TimeAxis::screenX(qint64 k) const
{
    return toPixel(static_cast<double>(k) * xStep + 0.5);
}

qint64 TimeAxis::firstAtOrRightOf(int x, qint64 count) const
{
    qint64 low = 0;
    qint64 high = count;
    while (low < high) {
        const qint64 mid = low + (high - low) / 2;
        if (screenX(mid) >= x)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

TimeAxis timeAxis(int plotWidth, qint64 largestCount)
{
    TimeAxis axis;
    if (largestCount <= 0 || plotWidth <= 0)
        return axis;
    axis.xStep = static_cast<double>(plotWidth) / static_cast<double>(largestCount);
    axis.labelStep = axis.xStep >= 100 ? 1 : toCount(100 / axis.xStep);
    axis.pixelsPerLabel = axis.labelStep * axis.xStep;
    axis.tickCount = toCount(plotWidth / axis.pixelsPerLabel);
    return axis;
}

int ValueAxis::screenY(double value) const
{
    return toPixel(value * reciprocal * verticalScale + 0.5);
}

QString ValueAxis::tickLabel(int i, int decimals) const
{
    return QString::number(static_cast<double>(i) * unitsPerTick, 'f', decimals) + prefix;
}

ValueAxis valueAxis(double minimum, double maximum, const QRect &plot)
{
    ValueAxis axis;
    const EngPrefix::Scaled scaled = EngPrefix::scaleToPrefix(std::max(std::fabs(maximum), std::fabs(minimum)));
    axis.reciprocal = scaled.reciprocal;
    axis.prefix = scaled.prefix;
    axis.minimum = minimum * axis.reciprocal;
    axis.maximum = maximum * axis.reciprocal;
    const double span = axis.maximum - axis.minimum;
    if (span > 0 && plot.height() > 0)
        axis.verticalScale = plot.height() / span;

    // An empty range gives no tick spacing: only the zero line is drawn.
    // So does a scale too fine for whole-unit ticks (a value beyond the prefix table).
    if (axis.verticalScale > 0 && 80 / axis.verticalScale <= INT_MAX) {
        axis.unitsPerTick = axis.verticalScale >= 80 ? 1 : static_cast<int>(80 / axis.verticalScale);
        axis.pixelsPerTick = axis.unitsPerTick * axis.verticalScale;
        if (axis.maximum > 0)
            axis.ticksAbove = toCount(axis.verticalScale * axis.maximum / axis.pixelsPerTick);
        if (axis.minimum < 0)
            axis.ticksBelow = toCount(axis.verticalScale * -axis.minimum / axis.pixelsPerTick);
    }

    if (axis.minimum >= 0)
        axis.zeroY = plot.bottom();
    else if (axis.maximum >= 0)
        axis.zeroY = plot.top() + toPixel(axis.maximum / span * plot.height());
    else
        axis.zeroY = plot.top();
    return axis;
}

qint64 nearestIndex(int x, qint64 count, const TimeAxis &axis)
{
    if (count <= 0)
        return -1;
    const qint64 right = axis.firstAtOrRightOf(x, count);
    if (right == count)
        return count - 1;
    if (right == 0 || axis.screenX(right) == x)
        return right;
    const qint64 left = right - 1;
    return axis.screenX(right) - x < x - axis.screenX(left) ? right : left;
}

bool selectionZooms(QPoint start, QPoint end)
{
    return start.x() < end.x() && start.y() < end.y();
}

std::optional<IndexRange> zoomRange(int startX, int endX, qint64 count, const TimeAxis &axis)
{
    if (count <= 0)
        return std::nullopt;
    const qint64 first = std::min(axis.firstAtOrRightOf(startX, count), count - 1);
    qint64 last = axis.firstAtOrRightOf(endX, count) - 1;
    if (last < 0)
        last = count - 1;
    if (last <= first)
        return std::nullopt;
    return IndexRange{first, last};
}

QVector<int> shownTimeLabels(const QVector<int> &centres, const QVector<int> &widths, int gap)
{
    QVector<int> shown;
    int lastRight = 0;
    for (int i = 0; i < centres.size() && i < widths.size(); ++i) {
        const int left = centres[i] - widths[i] / 2;
        if (!shown.isEmpty() && left < lastRight + gap)
            continue;
        shown.append(i);
        lastRight = left + widths[i];
    }
    return shown;
}

QVector<QRect> indicatorBoxes(const QVector<int> &pointYs, const QVector<int> &widths, int x,
                              const QRect &plot, int fontHeight)
{
    QVector<QRect> boxes;
    for (int i = 0; i < pointYs.size(); ++i) {
        const QSize boxSize(widths[i], 2 * fontHeight);
        const int y = pointYs[i];
        int left = x + 3;
        if (left + boxSize.width() > plot.right())
            left = x - 3 - boxSize.width();
        int top = y - (2 * fontHeight + 3);
        top = std::min(top, plot.bottom() - 3 - boxSize.height());
        top = std::max(top, plot.top() + 3);
        boxes.append(QRect(QPoint(left, top), boxSize));
    }
    for (int e = boxes.size() - 2; e >= 0; --e) {
        const int nextTop = boxes[e + 1].top();
        if (std::abs(boxes[e].top() - nextTop) < 2 * fontHeight)
            boxes[e].moveTop(nextTop - 2 * fontHeight - 3);
    }
    return boxes;
}

} // namespace ChartLayout
