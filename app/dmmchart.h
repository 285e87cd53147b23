#pragma once

#include "chartline.h"

#include <QBrush>
#include <QFrame>
#include <QMutex>
#include <QPixmap>
#include <QTimer>

#include <array>
#include <memory>
#include <vector>

// Trend chart of the readings of each display line against time: a polyline
// per line with its own value axis (left for the first line, right for the
// others), time along the bottom, a legend, drag-to-zoom and a value
// indicator that follows the mouse.
//
// The picture is kept as four cached layers (axes, lines, selection,
// indicator), each redrawn only when it or a layer below it changed, so that
// a mouse move repaints only the top layers. However many readings a line
// holds, a line is drawn from at most four vertices per pixel column and run,
// which covers the same pixels as one vertex per reading.
class DMMChart : public QFrame
{
    Q_OBJECT
public:
    explicit DMMChart(QWidget *parent = nullptr);
    ~DMMChart() override;

    // The chart owns its lines; it starts with one orange line without name.
    ChartLine *addLine(const QColor &colour, const QString &name);
    QList<ChartLine *> lines() const;

    ChartAxis *leftAxis() { return &axes[Left]; }
    ChartAxis *topAxis() { return &axes[Top]; }
    ChartAxis *rightAxis() { return &axes[Right]; }
    ChartAxis *bottomAxis() { return &axes[Bottom]; }

    // Line i shows display line i of the readings (a third line none), all
    // of them; ends a zoom and hides the indicator. Nothing is copied: the
    // chart reads what it draws from the store when it draws.
    void showReadings(std::shared_ptr<const ReadingStore> readings);
    // The readings shown grow to `count`, as they are appended. Repaints
    // unless the user is zoomed in or dragging a selection.
    void setReadingCount(qint64 count);
    // Shows no readings; also ends a zoom and hides the indicator.
    void clearPoints();
    // All lines share one value range when on.
    void setSameScale(bool on);
    // Saves the complete chart as last composed; false when it cannot be
    // drawn (no room for the plot) or not written.
    bool savePicture(const QString &path);
    // Draws the complete chart onto `painter` step by step, as the screen's
    // layers are drawn (for a vector picture); false when there is no room
    // for the plot.
    bool drawPicture(QPainter &painter);

signals:
    // The readings shown changed: a zoom to readings first..last (indices,
    // both shown; stored readings have no time to name them by), or back to
    // all of them (not zoomed).
    void visibleSpanChanged(bool zoomed, qint64 first, qint64 last);

public slots:
    void slotTmrIndicatorTimeout();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    enum AxisSide { Left, Top, Right, Bottom };

    void updatePlotRect();
    bool hasRoom() const;
    bool hasPoints() const;
    ChartLine *referenceLine() const;
    QPoint toPlot(QPoint widgetPos) const;
    void layOut();
    void announceVisibleSpan();
    bool composeLayers();
    QPixmap &resized(QPixmap &layer) const;
    QPixmap &copied(const QPixmap &from, QPixmap &to) const;
    void drawAxes(QPainter &painter) const;
    void drawTimeAxis(QPainter &painter) const;
    void drawValueAxis(QPainter &painter, int lineIndex) const;
    void drawTitles(QPainter &painter) const;
    void drawLegend(QPainter &painter) const;
    void drawLines(QPainter &painter) const;
    void drawSelection(QPainter &painter) const;
    void drawIndicator(QPainter &painter) const;

    std::array<ChartAxis, 4> axes;
    QRect plotRect;
    std::vector<std::unique_ptr<ChartLine>> chartLines;
    int referenceLineIndex = 0;
    bool sameScale = false;
    ChartLayout::TimeAxis timeAxis;

    QPixmap axesLayer;
    QPixmap linesLayer;
    QPixmap selectionLayer;
    QPixmap indicatorLayer;
    bool axesDirty = true;
    bool linesDirty = true;
    bool indicatorDirty = false;
    bool selectionDirty = false;
    // Every access to the points and the layers is on the GUI thread, so
    // nothing needs guarding; the lock is taken only where points are
    // cleared and while the layers are composed, as the chart has always
    // done, and is no reason to call the chart from another thread.
    QMutex mutex;

    QTimer tmrIndicator;
    QBrush background{Qt::white};
    QColor indicatorColour{QStringLiteral("#ff0000")};
    int decimals = 2;
    bool indicatorVisible = false;
    qint64 indicatorIndex = -1;
    bool selecting = false;
    bool zoomed = false;
    QPoint selectionStart; // relative to plotRect
    QPoint selectionEnd;
};
