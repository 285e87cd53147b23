#include "dmmchart.h"

#include "datetimeformat.h"
#include "readingstore.h"

#include <QMouseEvent>
#include <QMutexLocker>
#include <QPainter>

#include <algorithm>

namespace {

const QString TimeLabelFormat = QStringLiteral("yyyy-MM-dd\nhh:mm:ss");
constexpr int TickLength = 5;
// Least space between two time labels.
constexpr int LabelGap = 6;
constexpr int IndicatorMilliseconds = 3000;

int textWidth(const QFontMetrics &metrics, const QString &text)
{
    int width = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        width = std::max(width, metrics.horizontalAdvance(line));
    return width;
}

} // namespace

DMMChart::DMMChart(QWidget *parent)
    : QFrame(parent),
      axes{ChartAxis{ChartAxis::Vertical, 80, {}}, ChartAxis{ChartAxis::Horizontal, 80, {}},
           ChartAxis{ChartAxis::Vertical, 80, {}}, ChartAxis{ChartAxis::Horizontal, 80, {}}}
{
    setMouseTracking(true);
    tmrIndicator.setSingleShot(true);
    connect(&tmrIndicator, &QTimer::timeout, this, &DMMChart::slotTmrIndicatorTimeout);
    addLine(QColor(QStringLiteral("#ff7500")), QString());
}

DMMChart::~DMMChart() = default;

ChartLine *DMMChart::addLine(const QColor &colour, const QString &name)
{
    chartLines.push_back(std::make_unique<ChartLine>(colour, name));
    axesDirty = true;
    update();
    return chartLines.back().get();
}

QList<ChartLine *> DMMChart::lines() const
{
    QList<ChartLine *> result;
    for (const auto &line : chartLines)
        result.append(line.get());
    return result;
}

void DMMChart::showReadings(std::shared_ptr<const ReadingStore> readings)
{
    QMutexLocker lock(&mutex);
    const qint64 count = readings ? readings->count() : 0;
    for (std::size_t i = 0; i < chartLines.size(); ++i)
        chartLines[i]->show(i < 2 ? readings : nullptr, static_cast<int>(i), count);
    // A zoom or indicator refers to readings shown before.
    zoomed = false;
    selecting = false;
    indicatorIndex = -1;
    indicatorVisible = false;
    axesDirty = true;
    update();
    announceVisibleSpan();
}

void DMMChart::setReadingCount(qint64 count)
{
    for (const auto &line : chartLines)
        line->setCount(count);
    if (selecting || zoomed)
        return;
    axesDirty = true;
    update();
}

void DMMChart::clearPoints()
{
    showReadings(nullptr);
}

void DMMChart::setSameScale(bool on)
{
    // Set for every reading: only a change redraws.
    if (on == sameScale)
        return;
    sameScale = on;
    axesDirty = true;
    update();
}

bool DMMChart::savePicture(const QString &path)
{
    return composeLayers() && indicatorLayer.save(path);
}

bool DMMChart::drawPicture(QPainter &painter)
{
    if (!composeLayers()) // lays the chart out for its size
        return false;
    QMutexLocker lock(&mutex);
    painter.fillRect(rect(), background);
    drawAxes(painter);
    drawLines(painter);
    drawSelection(painter);
    drawIndicator(painter);
    return true;
}

void DMMChart::slotTmrIndicatorTimeout()
{
    indicatorVisible = false;
    indicatorDirty = true;
    update();
}

void DMMChart::updatePlotRect()
{
    plotRect = QRect(axes[Left].size, axes[Top].size, width() - axes[Right].size - axes[Left].size,
                     height() - axes[Bottom].size - axes[Top].size);
}

bool DMMChart::hasRoom() const
{
    return plotRect.width() > 0 && plotRect.height() > 0;
}

bool DMMChart::hasPoints() const
{
    return std::any_of(chartLines.begin(), chartLines.end(), [](const auto &line) { return line->count() > 0; });
}

ChartLine *DMMChart::referenceLine() const
{
    if (referenceLineIndex >= static_cast<int>(chartLines.size()))
        return nullptr;
    return chartLines[static_cast<std::size_t>(referenceLineIndex)].get();
}

QPoint DMMChart::toPlot(QPoint widgetPos) const
{
    const QPoint p = widgetPos - plotRect.topLeft();
    return {std::clamp(p.x(), 0, std::max(plotRect.width(), 0)), std::clamp(p.y(), 0, std::max(plotRect.height(), 0))};
}

void DMMChart::layOut()
{
    qint64 largest = 0;
    referenceLineIndex = 0;
    for (std::size_t i = 0; i < chartLines.size(); ++i) {
        ChartLine &line = *chartLines[i];
        if (!zoomed)
            line.showAll();
        if (line.visibleCount() > largest) {
            largest = line.visibleCount();
            referenceLineIndex = static_cast<int>(i);
        }
    }
    timeAxis = ChartLayout::timeAxis(plotRect.width(), largest);

    // Every range holds 0; lines without readings keep the empty range.
    std::vector<ValueExtent> extents;
    ValueExtent shared;
    for (const auto &line : chartLines) {
        ValueExtent extent = line->visibleExtent();
        extent.take(0.0);
        extents.push_back(extent);
        if (line->visibleCount() > 0)
            shared.take(extent);
    }
    for (std::size_t i = 0; i < chartLines.size(); ++i) {
        ValueExtent extent = extents[i];
        if (sameScale && chartLines[i]->visibleCount() > 0)
            extent = shared;
        chartLines[i]->axis = ChartLayout::valueAxis(extent.minimum, extent.maximum, plotRect);
    }
}

bool DMMChart::composeLayers()
{
    QMutexLocker lock(&mutex);
    updatePlotRect();
    if (!hasRoom())
        return false;
    bool redrawn = false;
    if (axesDirty || axesLayer.size() != size()) {
        axesDirty = false;
        layOut();
        QPainter painter(&resized(axesLayer));
        painter.fillRect(rect(), background);
        drawAxes(painter);
        redrawn = true;
    }
    if (linesDirty || redrawn) {
        linesDirty = false;
        QPainter painter(&copied(axesLayer, linesLayer));
        drawLines(painter);
        redrawn = true;
    }
    if (selectionDirty || redrawn) {
        selectionDirty = false;
        QPainter painter(&copied(linesLayer, selectionLayer));
        drawSelection(painter);
        redrawn = true;
    }
    if (indicatorDirty || redrawn) {
        // While the indicator counts down, every paint redraws it.
        if (!tmrIndicator.isActive())
            indicatorDirty = false;
        QPainter painter(&copied(selectionLayer, indicatorLayer));
        drawIndicator(painter);
    }
    return true;
}

QPixmap &DMMChart::resized(QPixmap &layer) const
{
    if (layer.size() != size())
        layer = QPixmap(size());
    return layer;
}

// Layers are painted over in place rather than shared and detached, which
// would allocate a fresh picture on every paint.
QPixmap &DMMChart::copied(const QPixmap &from, QPixmap &to) const
{
    QPainter painter(&resized(to));
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(0, 0, from);
    return to;
}

void DMMChart::paintEvent(QPaintEvent *event)
{
    if (!composeLayers()) {
        QFrame::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, indicatorLayer);
    drawFrame(&painter);
}

void DMMChart::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    updatePlotRect();
    axesDirty = true;
}

void DMMChart::drawAxes(QPainter &painter) const
{
    drawTimeAxis(painter);
    for (int i = 0; i < static_cast<int>(chartLines.size()); ++i)
        drawValueAxis(painter, i);
    drawTitles(painter);
    drawLegend(painter);
}

void DMMChart::drawTimeAxis(QPainter &painter) const
{
    const QRect &plot = plotRect;
    painter.drawLine(plot.left() - 1, plot.bottom() + 1, plot.right() + 1, plot.bottom() + 1);
    const QFontMetrics metrics = painter.fontMetrics();
    const ChartLine *reference = referenceLine();
    const qint64 lastVisible = reference ? reference->first() + reference->visibleCount() - 1 : -1;
    const QPen pen = painter.pen();
    QPen grid = pen;
    grid.setStyle(Qt::DotLine);
    QVector<int> centres;
    QVector<int> widths;
    QStringList texts;
    for (int e = 0; e < timeAxis.tickCount; ++e) {
        const int x = static_cast<int>(e * timeAxis.pixelsPerLabel + plot.left() + 0.5);
        painter.setPen(pen);
        painter.drawLine(x, plot.bottom(), x, plot.bottom() + TickLength);
        painter.setPen(grid);
        painter.drawLine(x, plot.top(), x, plot.bottom());
        const qint64 index = static_cast<qint64>(timeAxis.labelStep) * e + (reference ? reference->first() : 0);
        if (index > lastVisible)
            continue;
        texts << reference->time(index).toString(TimeLabelFormat);
        centres << x;
        widths << textWidth(metrics, texts.last());
    }
    painter.setPen(pen);
    // Labels wider than their ticks' spacing would be drawn over each other.
    for (int i : ChartLayout::shownTimeLabels(centres, widths, LabelGap))
        painter.drawText(QRect(centres[i] - widths[i] / 2, plot.bottom() + TickLength + 2, widths[i],
                               2 * metrics.height()),
                         Qt::AlignCenter, texts[i]);
}

void DMMChart::drawValueAxis(QPainter &painter, int lineIndex) const
{
    const QRect &plot = plotRect;
    const ChartLine &line = *chartLines[static_cast<std::size_t>(lineIndex)];
    const ChartLayout::ValueAxis &axis = line.axis;
    const bool left = lineIndex == 0;
    const int axisX = left ? plot.left() - 1 : plot.right() + 1;
    const int tickEnd = left ? axisX - TickLength : axisX + TickLength;
    painter.drawLine(axisX, plot.top() - 1, axisX, plot.bottom() + 1);

    const QPen pen = painter.pen();
    QPen grid = pen;
    grid.setStyle(Qt::DotLine);
    const QFontMetrics metrics = painter.fontMetrics();
    const bool labelled = line.visibleCount() > 0;
    auto tick = [&](int i, int direction) {
        const int y = axis.zeroY - direction * static_cast<int>(i * axis.pixelsPerTick);
        painter.setPen(pen);
        painter.drawLine(axisX, y, tickEnd, y);
        if (i > 0) {
            painter.setPen(grid);
            painter.drawLine(axisX, y, left ? plot.right() + 1 : plot.left() - 1, y);
            painter.setPen(pen);
        }
        if (!labelled)
            return;
        const QString text = axis.tickLabel(direction * i, decimals);
        const int w = metrics.horizontalAdvance(text);
        const int h = metrics.height();
        const QRect box = left ? QRect(tickEnd - 3 - w, y - h / 2, w, h) : QRect(tickEnd + 3, y - h / 2, w, h);
        painter.drawText(box, (left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, text);
    };
    for (int i = 0; i <= axis.ticksAbove; ++i)
        tick(i, 1);
    for (int i = 1; i <= axis.ticksBelow; ++i)
        tick(i, -1);

    painter.setPen(QPen(line.colour(), 1, Qt::DotLine));
    painter.drawLine(plot.left(), axis.zeroY, plot.right(), axis.zeroY);
    painter.setPen(pen);
}

void DMMChart::drawTitles(QPainter &painter) const
{
    painter.save();
    QFont font = painter.font();
    font.setWeight(QFont::Bold);
    painter.setFont(font);
    const QFontMetrics metrics = painter.fontMetrics();
    const int h = metrics.height();
    const QRect &plot = plotRect;

    auto rotated = [&](const QString &title, int x, qreal angle) {
        const int w = metrics.horizontalAdvance(title);
        painter.save();
        painter.translate(x, plot.top() + plot.height() / 2);
        painter.rotate(angle);
        painter.drawText(QRect(-w / 2, -h, w, h), Qt::AlignCenter, title);
        painter.restore();
    };
    rotated(axes[Left].title, h, -90);
    rotated(axes[Right].title, plot.right() + axes[Right].size - 2 * h, 90);

    const QString &bottom = axes[Bottom].title;
    const int w = metrics.horizontalAdvance(bottom);
    painter.drawText(QRect(plot.width() / 2 + plot.left() - w, plot.bottom() + h + (axes[Bottom].size - h) / 2, w, h),
                     Qt::AlignCenter, bottom);
    painter.restore();
}

void DMMChart::drawLegend(QPainter &painter) const
{
    const QFontMetrics metrics = painter.fontMetrics();
    const int h = metrics.height();
    const int eight = metrics.horizontalAdvance(QStringLiteral("8"));
    const int sample = metrics.horizontalAdvance(QStringLiteral("88888888"));
    const QPen pen = painter.pen();
    for (int e = 0; e < static_cast<int>(chartLines.size()); ++e) {
        const ChartLine &line = *chartLines[static_cast<std::size_t>(e)];
        const int y = static_cast<int>(h + e * 1.5 * h);
        const int nameWidth = metrics.horizontalAdvance(line.name());
        const int x = width() - nameWidth - eight;
        painter.setPen(Qt::black);
        painter.drawText(QRect(x, y, nameWidth, h), Qt::AlignLeft | Qt::AlignVCenter, line.name());
        painter.setPen(line.colour());
        painter.drawLine(x - eight - sample, y + h / 2, x - eight, y + h / 2);
    }
    painter.setPen(pen);
}

void DMMChart::drawLines(QPainter &painter) const
{
    for (const auto &line : chartLines) {
        painter.setPen(line->colour());
        drawPath(painter, line->screenPath(timeAxis, plotRect.left()));
    }
}

void DMMChart::drawSelection(QPainter &painter) const
{
    if (!selecting)
        return;
    const QPoint origin = plotRect.topLeft();
    const QPolygon corners({origin + selectionStart, origin + QPoint(selectionEnd.x(), selectionStart.y()),
                            origin + selectionEnd, origin + QPoint(selectionStart.x(), selectionEnd.y())});
    painter.setPen(Qt::DotLine);
    painter.drawPolygon(corners);
}

void DMMChart::drawIndicator(QPainter &painter) const
{
    const ChartLine *reference = referenceLine();
    if (!indicatorVisible || indicatorIndex < 0 || !reference || reference->visibleCount() == 0)
        return;
    const qint64 index = std::min(indicatorIndex, reference->visibleCount() - 1);
    const int x = plotRect.left() + timeAxis.screenX(index);
    painter.setPen(QPen(indicatorColour, 1, Qt::DashDotDotLine));
    painter.drawLine(x, plotRect.top(), x, plotRect.bottom());

    const QFontMetrics metrics = painter.fontMetrics();
    const int referenceWidth = metrics.horizontalAdvance(DateTimeFormat);
    QVector<const ChartLine *> shown;
    QVector<QString> texts;
    QVector<int> ys;
    QVector<int> widths;
    for (const auto &line : chartLines) {
        const qint64 at = line->first() + index;
        if (index >= line->visibleCount())
            continue;
        const QString label = line->label(at);
        // A reading without value (overload, none) shows its text on the zero line, without marker.
        int y = line->axis.zeroY;
        double value = 0;
        if (line->valueAt(at, &value)) {
            y -= line->axis.screenY(value);
            painter.fillRect(QRect(x - 2, y - 2, 4, 4), line->colour());
        }
        shown.append(line.get());
        texts.append(line->time(at).toString(DateTimeFormat) + QLatin1Char('\n') + label);
        ys.append(y);
        widths.append(std::max(referenceWidth, metrics.horizontalAdvance(label)));
    }
    const QVector<QRect> boxes = ChartLayout::indicatorBoxes(ys, widths, x, plotRect, metrics.height());
    for (int i = 0; i < boxes.size(); ++i) {
        painter.setPen(shown[i]->colour());
        painter.drawText(boxes[i], Qt::AlignLeft | Qt::AlignVCenter, texts[i]);
    }
}

void DMMChart::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !hasPoints())
        return;
    indicatorIndex = -1;
    indicatorVisible = false;
    if (!selecting) {
        selecting = true;
        selectionStart = selectionEnd = toPlot(event->pos());
    }
}

void DMMChart::mouseMoveEvent(QMouseEvent *event)
{
    if (selecting) {
        selectionEnd = toPlot(event->pos());
        selectionDirty = true;
        update();
        return;
    }
    const ChartLine *reference = referenceLine();
    if (!reference || !hasRoom())
        return;
    const qint64 index = ChartLayout::nearestIndex(toPlot(event->pos()).x(), reference->visibleCount(), timeAxis);
    if (index < 0)
        return;
    if (index == indicatorIndex) {
        indicatorVisible = false;
        return;
    }
    indicatorIndex = index;
    indicatorVisible = true;
    tmrIndicator.start(IndicatorMilliseconds);
    indicatorDirty = true;
    update();
}

void DMMChart::mouseReleaseEvent(QMouseEvent *event)
{
    if (!selecting)
        return;
    selectionEnd = toPlot(event->pos());
    if (ChartLayout::selectionZooms(selectionStart, selectionEnd)) {
        for (const auto &line : chartLines) {
            const auto range =
                ChartLayout::zoomRange(selectionStart.x(), selectionEnd.x(), line->visibleCount(), timeAxis);
            if (range)
                line->showRange(line->first() + range->first, line->first() + range->last);
        }
        zoomed = true;
    } else {
        for (const auto &line : chartLines)
            line->showAll();
        zoomed = false;
    }
    selecting = false;
    axesDirty = true;
    update();
    announceVisibleSpan();
}

void DMMChart::announceVisibleSpan()
{
    const ChartLine *line = chartLines.empty() ? nullptr : chartLines.front().get();
    if (!zoomed || !line || line->visibleCount() == 0) {
        emit visibleSpanChanged(false, 0, 0);
        return;
    }
    emit visibleSpanChanged(true, line->first(), line->first() + line->visibleCount() - 1);
}
