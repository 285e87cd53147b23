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
#include <memory>

class DmmData;
class QPainter;
class ReadingStore;

// A margin of the chart reserved for one axis.
struct ChartAxis
{
    enum Orientation { Horizontal = 1, Vertical = 2 };

    Orientation orientation;
    int size = 80;
    QString title;
};

// Smallest and largest drawable value of a run of readings.
struct ValueExtent
{
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
    bool hasValue = false;

    void take(double value);
    void take(const ValueExtent &other);
};

// One display line of an item's readings, read from the item's store: its
// colour, name, visible window and the value axis of the last layout. Only
// what a pixel column needs is read: the extremes of a column's readings come
// from the store's summary, so drawing costs the same for a minute as for a
// month.
class ChartLine : public QObject
{
    Q_OBJECT
public:
    // Indicator text of the reading shown, built for it on demand.
    using LabelMaker = std::function<QString(const DmmData &)>;

    ChartLine(const QColor &colour, const QString &name);
    ~ChartLine() override;

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QColor colour() const { return m_colour; }

    // Without a maker the label is the value in general notation.
    void setLabelMaker(LabelMaker maker) { labelMaker = std::move(maker); }
    QString label(qint64 index) const;

    // The first `count` readings of display line `line` of `readings`
    // (none without a store); the window shows them all.
    void show(std::shared_ptr<const ReadingStore> readings, int line, qint64 count);
    // The readings shown grow to `count`; the window stays.
    void setCount(qint64 count);
    qint64 count() const { return m_count; }
    // Time of a reading; invalid for one without (uploaded from the meter's memory).
    QDateTime time(qint64 index) const;
    // The reading's value in the base unit when it has one that can be drawn.
    bool valueAt(qint64 index, double *value) const;

    // Visible window: all readings, or a zoomed range of them.
    void showAll();
    void showRange(qint64 first, qint64 last);
    qint64 first() const { return m_first; }
    qint64 visibleCount() const { return m_count == 0 ? 0 : m_last - m_first + 1; }

    // Extent of the visible values.
    ValueExtent visibleExtent() const;

    // Polylines through the visible readings at (originX + x, zero line - y),
    // broken where a reading has no value and across a gap in time (see
    // TimeGaps); a single-vertex polyline is a lone reading. Where several
    // readings share a pixel column only the first, lowest, highest and last
    // of each run are kept, which covers the same pixels. A column of more
    // than WalkLimit readings, some without a value (overloads in a long
    // item), is one stroke from its lowest to its highest value, broken
    // before or after it when its first or last reading has none.
    QVector<QPolygon> screenPath(const ChartLayout::TimeAxis &timeAxis, int originX) const;

    static constexpr qint64 WalkLimit = 256;

    ChartLayout::ValueAxis axis; // of the last layout

private:
    class ColumnWalk;

    QString m_name;
    QColor m_colour;
    LabelMaker labelMaker;
    std::shared_ptr<const ReadingStore> readings;
    int line = 0;
    qint64 m_count = 0;
    qint64 m_first = 0;
    qint64 m_last = -1;
};

// Draws polylines as screenPath gives them, in the painter's pen colour:
// the same pixels as QPainter::drawPolyline, lone readings as single pixels.
void drawPath(QPainter &painter, const QVector<QPolygon> &path);
