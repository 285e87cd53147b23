#pragma once

#include <QPair>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QVector>
#include <QWidget>

// Arithmetic of the histogram, apart from painting.
namespace HistogramLayout {

using Range = QPair<double, double>; // (low, high]

// Samples per range: low < v <= high, and the first range takes every value
// up to its high end. NaN counts nowhere.
QVector<int> binCounts(const QVector<Range> &ranges, const QVector<double> &samples);

struct Layout
{
    int largestCount = 1;
    double pixelsPerCount = 0;
    int countStep = 0; // 0 when the plot has no width for counts
    double slotHeight = 1;
    // Bars from the bottom up, in coordinates whose origin is the plot's
    // lower left corner and whose y grows downward (bars have negative y).
    QVector<QRectF> bars;
};

Layout layout(const QVector<int> &counts, QSizeF plotSize);

// Texts at the upper and lower corner of bar m's range label.
struct RangeLabel
{
    QString upper;
    QString lower;
};

RangeLabel rangeLabel(const QVector<Range> &ranges, int m, int decimals);

// Count written on a bar.
QString countText(int count);

} // namespace HistogramLayout

// Horizontal bar chart of sample counts per value range, bars stacked upward
// from the lowest range. The window configures one and keeps it hidden.
class Histogram : public QWidget
{
    Q_OBJECT
public:
    explicit Histogram(QWidget *parent = nullptr);

    void setMargins(int left, int top, int right, int bottom);
    void setRanges(const QVector<HistogramLayout::Range> &ranges);
    void clear();
    void setHorizontalTitle(const QString &title);
    void setVerticalTitle(const QString &title);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void recount();
    void invalidate();
    void drawAxes(QPainter &painter, const HistogramLayout::Layout &layout) const;
    void drawBars(QPainter &painter, const HistogramLayout::Layout &layout) const;

    int marginLeft = 20;
    int marginTop = 20;
    int marginRight = 20;
    int marginBottom = 20;
    QRectF plotRect;
    QVector<HistogramLayout::Range> ranges;
    QVector<double> samples;
    QVector<int> counts;
    QString verticalTitle;
    QString horizontalTitle;
    int decimals = 1;
    // Axes and bars change together (the count axis follows the largest
    // bar), so one cached picture serves both.
    QPixmap picture;
    bool dirty = true;
};
