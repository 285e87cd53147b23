#pragma once

#include "chartlayout.h"

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QPolygon>
#include <QString>
#include <QVector>

#include <functional>
#include <limits>
#include <vector>

class DmmData;
class QPainter;

// One reading of a chart line. Screen positions are not kept per point: they
// follow from the point's index and value whenever the chart is laid out. The
// indicator's label is built from the reading when it is shown.
struct ChartPoint
{
    QDateTime time;
    double value = 0;                 // base unit; not drawable (see ChartLayout::isDrawable) = no value
    const DmmData *reading = nullptr; // the record shown, owned by its item; may be null
};

// A margin of the chart reserved for one axis.
struct ChartAxis
{
    enum Orientation { Horizontal = 1, Vertical = 2 };

    Orientation orientation;
    int size = 80;
    QString title;
};

// Smallest and largest drawable value of a run of points, and whether the run
// holds points without a value.
struct ValueExtent
{
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
    bool hasValue = false;
    bool hasGap = false;

    void take(double value);
    void take(const ValueExtent &other);
};

// Block-wise extents of a growing list of values, so that the extent of any
// index range costs about (range / 64 + 128) steps and an appended value one.
class ValueSummary
{
public:
    void append(double value);
    void reserve(qint64 count);
    void clear();
    // Extent of points[first..last]; `points` are the ones this summary followed.
    ValueExtent extent(const std::vector<ChartPoint> &points, qint64 first, qint64 last) const;

    static constexpr qint64 BlockSize = 64;

private:
    std::vector<ValueExtent> blocks;
    qint64 count = 0;
};

// The readings of one display line with its colour, name, visible window and
// the value axis of the last layout.
class ChartLine : public QObject
{
    Q_OBJECT
public:
    using LabelMaker = std::function<QString(const ChartPoint &)>;

    ChartLine(const QColor &colour, const QString &name);

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QColor colour() const { return m_colour; }

    // Indicator text of a point; without a maker the value in general notation.
    void setLabelMaker(LabelMaker maker) { labelMaker = std::move(maker); }
    QString label(const ChartPoint &point) const;

    qint64 count() const { return static_cast<qint64>(points.size()); }
    const ChartPoint &point(qint64 index) const { return points[static_cast<std::size_t>(index)]; }
    void append(const ChartPoint &point);
    void reserve(qint64 count);
    void clear();

    // Visible window: all points, or a zoomed range of them.
    void showAll();
    void showRange(qint64 first, qint64 last);
    qint64 first() const { return m_first; }
    qint64 visibleCount() const { return points.empty() ? 0 : m_last - m_first + 1; }

    // Extent of the visible values.
    ValueExtent visibleExtent() const;

    // Readings this many times further apart in time than the two before them
    // (and at least MinimumGapMs) stand either side of a gap, such as a lost
    // link: the line is not drawn across it.
    static constexpr qint64 GapFactor = 4;
    static constexpr qint64 MinimumGapMs = 1000;
    // Whether a gap lies between reading index - 1 and reading index.
    bool startsAfterGap(qint64 index) const;

    // Polylines through the visible readings at (originX + x, zero line - y),
    // broken where a reading has no value and across a gap in time; a single-vertex polyline is a lone
    // reading. Where several readings share a pixel column only the first,
    // lowest, highest and last of them are kept, which covers the same pixels.
    QVector<QPolygon> screenPath(const ChartLayout::TimeAxis &timeAxis, int originX) const;

    ChartLayout::ValueAxis axis; // of the last layout

private:
    QString m_name;
    QColor m_colour;
    LabelMaker labelMaker;
    // Whether a run start lies in [first, last].
    bool hasRunStartIn(qint64 first, qint64 last) const;

    std::vector<ChartPoint> points;
    ValueSummary summary;
    std::vector<qint64> runStarts; // readings just after a gap, ascending
    qint64 m_first = 0;
    qint64 m_last = -1;
};

// Draws polylines as screenPath gives them, in the painter's pen colour:
// the same pixels as QPainter::drawPolyline, lone readings as single pixels.
void drawPath(QPainter &painter, const QVector<QPolygon> &path);
