#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QVector>

#include <optional>

// The trend chart's arithmetic as plain numbers, apart from any painting:
// where samples go along the time axis, how a line's value range becomes a
// scale with ticks and a zero line, which reading the mouse points at, what a
// dragged rectangle zooms to and where the indicator's text boxes stand.
namespace ChartLayout {

// Readings that can be drawn: finite and below the meter's overload, low
// and no-value sentinels, which stand for a state, not a number.
bool isDrawable(double value);

// Time axis: sample k of the visible window is drawn at screenX(k) pixels
// from the plot's left edge.
struct TimeAxis
{
    double xStep = 0;          // pixels per sample
    int labelStep = 0;         // samples between time labels
    double pixelsPerLabel = 0; // labelStep * xStep
    int tickCount = 0;

    int screenX(qint64 k) const;
    // First sample k in [0, count) with screenX(k) >= x; count when none.
    qint64 firstAtOrRightOf(int x, qint64 count) const;
};

// largestCount is the most visible samples of any line; 0 gives an empty axis.
TimeAxis timeAxis(int plotWidth, qint64 largestCount);

// One line's value axis. minimum and maximum are in prefixed units (value *
// reciprocal); a value v is drawn screenY(v) pixels above zeroY.
struct ValueAxis
{
    double minimum = 0;
    double maximum = 0;
    double reciprocal = 1;
    QString prefix = QStringLiteral(" ");
    double verticalScale = 0; // pixels per prefixed unit; 0 for an empty range
    int unitsPerTick = 0;
    double pixelsPerTick = 0;
    int ticksAbove = 0;
    int ticksBelow = 0;
    int zeroY = 0;

    int screenY(double value) const;
    // Label of the tick `i` ticks above the zero line (below for negative i).
    QString tickLabel(int i, int decimals) const;
};

// minimum <= 0 <= maximum in base units (the range always holds 0).
ValueAxis valueAxis(double minimum, double maximum, const QRect &plot);

// Reading nearest to the mouse at plot-relative x among count samples: the
// first at exactly x, else the nearer neighbour (the left one on a tie), the
// last one past the end; -1 without samples.
qint64 nearestIndex(int x, qint64 count, const TimeAxis &axis);

// A drag zooms only when it runs right and down; anything else resets.
bool selectionZooms(QPoint start, QPoint end);

struct IndexRange
{
    qint64 first;
    qint64 last;
};

// Samples of a count-long window whose x lies in [startX, endX): from the
// first at or right of startX to the last left of endX (the last sample when
// none is). Empty when that spans no more than one sample.
std::optional<IndexRange> zoomRange(int startX, int endX, qint64 count, const TimeAxis &axis);

// Which time labels are drawn, by index: labels centred at `centres` with
// those widths, left to right; a label that would come closer than `gap`
// pixels to the last one drawn is skipped (its tick and grid line stay).
QVector<int> shownTimeLabels(const QVector<int> &centres, const QVector<int> &widths, int gap);

// Text boxes of the indicator, one per line with a reading at the indicated
// index, in line order, each two font heights high. pointYs are the readings'
// widget y; the boxes stand 3 pixels right of x (left of it when they would
// leave the plot), above their point, inside the plot, and apart from the
// next line's box.
QVector<QRect> indicatorBoxes(const QVector<int> &pointYs, const QVector<int> &widths, int x,
                              const QRect &plot, int fontHeight);

} // namespace ChartLayout
