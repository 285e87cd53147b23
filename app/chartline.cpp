#include "chartline.h"

#include <QPainter>

#include <algorithm>

void ValueExtent::take(double value)
{
    if (!ChartLayout::isDrawable(value)) {
        hasGap = true;
        return;
    }
    minimum = std::min(minimum, value);
    maximum = std::max(maximum, value);
    hasValue = true;
}

void ValueExtent::take(const ValueExtent &other)
{
    minimum = std::min(minimum, other.minimum);
    maximum = std::max(maximum, other.maximum);
    hasValue = hasValue || other.hasValue;
    hasGap = hasGap || other.hasGap;
}

void ValueSummary::append(double value)
{
    if (count % BlockSize == 0)
        blocks.emplace_back();
    blocks.back().take(value);
    ++count;
}

void ValueSummary::reserve(qint64 total)
{
    blocks.reserve(static_cast<std::size_t>((total + BlockSize - 1) / BlockSize));
}

void ValueSummary::clear()
{
    blocks = {};
    count = 0;
}

ValueExtent ValueSummary::extent(const std::vector<ChartPoint> &points, qint64 first, qint64 last) const
{
    ValueExtent result;
    qint64 i = first;
    while (i <= last) {
        if (i % BlockSize == 0 && i + BlockSize - 1 <= last) {
            result.take(blocks[static_cast<std::size_t>(i / BlockSize)]);
            i += BlockSize;
        } else {
            result.take(points[static_cast<std::size_t>(i)].value);
            ++i;
        }
    }
    return result;
}

ChartLine::ChartLine(const QColor &colour, const QString &name) : m_name(name), m_colour(colour) {}

QString ChartLine::label(const ChartPoint &point) const
{
    return labelMaker ? labelMaker(point) : QString::number(point.value, 'g', 6);
}

// Milliseconds on the reading's own clock. Unlike QDateTime::msecsTo this asks
// the time zone nothing, which cost seconds when a large item filled the chart;
// a clock change at worst shows one gap that was none.
static qint64 wallClockMs(const QDateTime &time)
{
    constexpr qint64 DayMs = 24 * 60 * 60 * 1000;
    return time.date().toJulianDay() * DayMs + time.time().msecsSinceStartOfDay();
}

// Stored readings carry no time: no step, as QDateTime::msecsTo says.
static qint64 stepMs(const QDateTime &from, const QDateTime &to)
{
    return from.isValid() && to.isValid() ? wallClockMs(to) - wallClockMs(from) : 0;
}

void ChartLine::append(const ChartPoint &point)
{
    const std::size_t n = points.size();
    if (n >= 2) {
        const qint64 usual = stepMs(points[n - 2].time, points[n - 1].time);
        const qint64 step = stepMs(points[n - 1].time, point.time);
        if (step >= MinimumGapMs && step > GapFactor * usual)
            runStarts.push_back(static_cast<qint64>(n));
    }
    points.push_back(point);
    summary.append(point.value);
}

bool ChartLine::startsAfterGap(qint64 index) const
{
    return std::binary_search(runStarts.begin(), runStarts.end(), index);
}

bool ChartLine::hasRunStartIn(qint64 first, qint64 last) const
{
    const auto at = std::lower_bound(runStarts.begin(), runStarts.end(), first);
    return at != runStarts.end() && *at <= last;
}

void ChartLine::reserve(qint64 total)
{
    points.reserve(static_cast<std::size_t>(total));
    summary.reserve(total);
}

void ChartLine::clear()
{
    points = {};
    summary.clear();
    runStarts = {};
    showAll();
}

void ChartLine::showAll()
{
    m_first = 0;
    m_last = count() - 1;
}

void ChartLine::showRange(qint64 first, qint64 last)
{
    m_first = std::clamp<qint64>(first, 0, std::max<qint64>(count() - 1, 0));
    m_last = std::clamp<qint64>(last, m_first, std::max<qint64>(count() - 1, 0));
}

ValueExtent ChartLine::visibleExtent() const
{
    if (visibleCount() == 0)
        return {};
    return summary.extent(points, m_first, m_last);
}

namespace {

// Builds the polylines vertex by vertex, dropping repeats: a repeated vertex
// adds no pixel but makes the rasteriser skip the last one.
class PathBuilder
{
public:
    void add(QPoint p)
    {
        if (run.isEmpty() || run.last() != p)
            run.append(p);
    }
    void breakRun()
    {
        if (!run.isEmpty())
            path.append(run);
        run = QPolygon();
    }
    QVector<QPolygon> finish()
    {
        breakRun();
        return path;
    }

private:
    QVector<QPolygon> path;
    QPolygon run;
};

// Screen heights of one stretch of readings in a pixel column: a polyline
// through its first, lowest, highest and last covers every pixel that one
// through all of them does.
class ColumnStretch
{
public:
    void take(int y)
    {
        if (empty) {
            first = lowest = highest = y;
            empty = false;
        }
        lowest = std::min(lowest, y);
        highest = std::max(highest, y);
        last = y;
    }
    void set(int firstY, int lowestY, int highestY, int lastY)
    {
        first = firstY;
        lowest = lowestY;
        highest = highestY;
        last = lastY;
        empty = false;
    }
    void addTo(PathBuilder &builder, int x)
    {
        if (empty)
            return;
        for (int y : {first, lowest, highest, last})
            builder.add(QPoint(x, y));
        empty = true;
    }

private:
    bool empty = true;
    int first = 0;
    int lowest = 0;
    int highest = 0;
    int last = 0;
};

} // namespace

QVector<QPolygon> ChartLine::screenPath(const ChartLayout::TimeAxis &timeAxis, int originX) const
{
    PathBuilder builder;
    const qint64 visible = visibleCount();
    auto yOf = [this](double value) { return axis.zeroY - axis.screenY(value); };
    qint64 k = 0;
    while (k < visible) {
        const int x = timeAxis.screenX(k);
        const qint64 a = m_first + k;
        const qint64 b = m_first + timeAxis.firstAtOrRightOf(x + 1, visible) - 1;
        ColumnStretch stretch;
        if (startsAfterGap(a))
            builder.breakRun();
        const ValueExtent extent = summary.extent(points, a, b);
        if (!extent.hasGap && !hasRunStartIn(a + 1, b)) {
            stretch.set(yOf(point(a).value), yOf(extent.maximum), yOf(extent.minimum), yOf(point(b).value));
        } else {
            for (qint64 i = a; i <= b; ++i) {
                if (i > a && startsAfterGap(i)) {
                    stretch.addTo(builder, originX + x);
                    builder.breakRun();
                }
                const double v = point(i).value;
                if (ChartLayout::isDrawable(v)) {
                    stretch.take(yOf(v));
                } else {
                    stretch.addTo(builder, originX + x);
                    builder.breakRun();
                }
            }
        }
        stretch.addTo(builder, originX + x);
        k = b - m_first + 1;
    }
    return builder.finish();
}

void drawPath(QPainter &painter, const QVector<QPolygon> &path)
{
    // The rasteriser draws a vertical line pixel by pixel but a rectangle a
    // row at a time, and in a dense chart most of a line is vertical. So each
    // column's span is filled as a rectangle, and the polyline keeps only the
    // first and last vertex of each column: its slanted segments are the
    // same as before, and so are their pixels.
    const QColor colour = painter.pen().color();
    for (const QPolygon &run : path) {
        QPolygon slanted;
        for (int i = 0; i < run.size();) {
            const int x = run[i].x();
            int top = run[i].y();
            int bottom = top;
            int j = i;
            for (; j + 1 < run.size() && run[j + 1].x() == x; ++j) {
                top = std::min(top, run[j + 1].y());
                bottom = std::max(bottom, run[j + 1].y());
            }
            painter.fillRect(QRect(x, top, 1, bottom - top + 1), colour);
            slanted.append(run[i]);
            if (j > i)
                slanted.append(run[j]);
            i = j + 1;
        }
        if (slanted.size() > 1)
            painter.drawPolyline(slanted);
    }
}
