#include "chartline.h"

#include "dmmdata.h"
#include "moments.h"
#include "readingstore.h"

#include <QPainter>

#include <algorithm>

void ValueExtent::take(double value)
{
    minimum = std::min(minimum, value);
    maximum = std::max(maximum, value);
    hasValue = true;
}

void ValueExtent::take(const ValueExtent &other)
{
    minimum = std::min(minimum, other.minimum);
    maximum = std::max(maximum, other.maximum);
    hasValue = hasValue || other.hasValue;
}

ChartLine::ChartLine(const QColor &colour, const QString &name) : m_name(name), m_colour(colour) {}

ChartLine::~ChartLine() = default;

QString ChartLine::label(qint64 index) const
{
    if (labelMaker)
        return labelMaker(*readings->record(index));
    double value = 0;
    return valueAt(index, &value) ? QString::number(value, 'g', 6) : QString();
}

void ChartLine::show(std::shared_ptr<const ReadingStore> shown, int displayLine, qint64 count)
{
    readings = std::move(shown);
    line = displayLine;
    m_count = readings ? count : 0;
    showAll();
}

void ChartLine::setCount(qint64 count)
{
    if (readings)
        m_count = count;
}

QDateTime ChartLine::time(qint64 index) const
{
    const qint64 msecs = readings->msecsAt(index);
    return msecs == 0 ? QDateTime() : QDateTime::fromMSecsSinceEpoch(msecs);
}

bool ChartLine::valueAt(qint64 index, double *value) const
{
    if (!readings->isCounted(line, index))
        return false;
    *value = readings->value(line, index);
    return ChartLayout::isDrawable(*value);
}

void ChartLine::showAll()
{
    m_first = 0;
    m_last = m_count - 1;
}

void ChartLine::showRange(qint64 first, qint64 last)
{
    m_first = std::clamp<qint64>(first, 0, std::max<qint64>(m_count - 1, 0));
    m_last = std::clamp<qint64>(last, m_first, std::max<qint64>(m_count - 1, 0));
}

ValueExtent ChartLine::visibleExtent() const
{
    ValueExtent extent;
    if (visibleCount() == 0)
        return extent;
    const Moments moments = readings->moments(line, m_first, m_last + 1);
    if (moments.n > 0) {
        extent.take(moments.min);
        extent.take(moments.max);
    }
    return extent;
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

// The polylines' vertices in one pixel column, for the readings [a, b].
class ChartLine::ColumnWalk
{
public:
    ColumnWalk(const ChartLine &line, PathBuilder &builder, int x) : line(line), builder(builder), x(x) {}

    void walk(qint64 a, qint64 b)
    {
        // A run never crosses a gap in time.
        const TimeGaps &gaps = line.readings->gaps();
        if (gaps.firstIn(a, a) == a)
            builder.breakRun();
        qint64 from = a;
        for (qint64 gap = gaps.firstIn(a + 1, b); gap >= 0; gap = gaps.firstIn(gap + 1, b)) {
            runs(from, gap - 1);
            endRun();
            from = gap;
        }
        runs(from, b);
        stretch.addTo(builder, x);
    }

private:
    int yOf(double value) const { return line.axis.zeroY - line.axis.screenY(value); }

    void endRun()
    {
        stretch.addTo(builder, x);
        builder.breakRun();
    }

    // Readings [first, last], with no gap in time between them.
    void runs(qint64 first, qint64 last)
    {
        double value = 0;
        if (last - first + 1 <= WalkLimit) {
            for (qint64 i = first; i <= last; ++i) {
                if (line.valueAt(i, &value))
                    stretch.take(yOf(value));
                else
                    endRun();
            }
            return;
        }
        const Moments moments = line.readings->moments(line.line, first, last + 1);
        if (moments.n == 0) {
            endRun();
            return;
        }
        const bool firstHasValue = line.valueAt(first, &value);
        if (firstHasValue)
            stretch.take(yOf(value));
        else
            endRun();
        stretch.take(yOf(moments.max));
        stretch.take(yOf(moments.min));
        if (line.valueAt(last, &value))
            stretch.take(yOf(value));
        else
            endRun();
    }

    const ChartLine &line;
    PathBuilder &builder;
    const int x;
    ColumnStretch stretch;
};

QVector<QPolygon> ChartLine::screenPath(const ChartLayout::TimeAxis &timeAxis, int originX) const
{
    PathBuilder builder;
    const qint64 visible = visibleCount();
    qint64 k = 0;
    while (k < visible) {
        const int x = timeAxis.screenX(k);
        const qint64 next = timeAxis.firstAtOrRightOf(x + 1, visible);
        ColumnWalk(*this, builder, originX + x).walk(m_first + k, m_first + next - 1);
        k = next;
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
