// The trend chart, its feeding from records and the histogram: layout
// arithmetic as numbers, the fast drawing against one vertex per reading,
// mouse zoom and indicator, bad input.
#include "chartfeeder.h"
#include "chartlayout.h"
#include "dmmchart.h"
#include "dmmdata.h"
#include "readingstore.h"
#include "histogram.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace ChartLayout;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const QRect Plot(100, 80, 600, 400); // bottom 479, right 699

// A value as the meter gives it: the sentinels come with their state.
void setValue(ChannelData &channel, int line, double value)
{
    channel.values[line] = value;
    channel.valueModes[line] = value == DmmData::OverloadSentinel ? DmmData::ValueOverload
                               : value == DmmData::LowSentinel    ? DmmData::ValueLow
                               : value == DmmData::NoneSentinel   ? DmmData::ValueNone
                                                                  : DmmData::ValueNormal;
}

// Appends readings `step` ms apart, a minute further apart just before each
// index of `timeGaps`: `first` on display line 1, `second` (as far as it
// goes) on line 2.
void appendSeries(ReadingStore &store, const QVector<double> &first, const QVector<double> &second = {},
                  qint64 step = 200, const QVector<int> &timeGaps = {})
{
    DmmData record;
    for (int i = 0; i < 2; ++i) {
        record.lines[i]->channel = record.channels[i];
        record.channels[i]->functions[i] = QStringLiteral("VOLT");
    }
    QDateTime time = QDateTime(QDate(2024, 5, 1), QTime(12, 0)).addMSecs(store.count() * step);
    for (int i = 0; i < first.size(); ++i) {
        time = time.addMSecs(timeGaps.contains(i) ? 60000 : step);
        record.time = time;
        setValue(*record.channels[0], 0, first[i]);
        setValue(*record.channels[1], 1, second.value(i, DmmData::NoneSentinel));
        store.append(record);
    }
}

std::unique_ptr<ChartLine> lineOf(const QVector<double> &values, const QVector<int> &timeGaps = {})
{
    auto store = std::make_shared<ReadingStore>();
    appendSeries(*store, values, {}, 200, timeGaps);
    auto line = std::make_unique<ChartLine>(Qt::black, QString());
    line->show(store, 0, store->count());
    return line;
}

// Lays a line out on its own over `plot`, as the chart does for one line.
TimeAxis layOut(ChartLine &line, const QRect &plot)
{
    ValueExtent extent = line.visibleExtent();
    extent.take(0.0);
    line.axis = valueAxis(extent.minimum, extent.maximum, plot);
    return timeAxis(plot.width(), line.visibleCount());
}

// One vertex per visible reading, as drawn before columns were merged; only
// a repeated vertex is dropped, since it adds no pixel. A run ends at a
// reading without a value and before each index of `timeGaps`.
QVector<QPolygon> everyReading(const ChartLine &line, const TimeAxis &time, const QRect &plot,
                               const QVector<int> &timeGaps)
{
    QVector<QPolygon> path;
    QPolygon run;
    for (qint64 k = 0; k < line.visibleCount(); ++k) {
        double v = 0;
        if (timeGaps.contains(int(line.first() + k)) && !run.isEmpty()) {
            path.append(run);
            run.clear();
        }
        if (!line.valueAt(line.first() + k, &v)) {
            if (!run.isEmpty())
                path.append(run);
            run.clear();
            continue;
        }
        const QPoint p(plot.left() + time.screenX(k), line.axis.zeroY - line.axis.screenY(v));
        if (run.isEmpty() || run.last() != p)
            run.append(p);
    }
    if (!run.isEmpty())
        path.append(run);
    return path;
}

QImage render(const QVector<QPolygon> &path, bool polylines)
{
    QImage image(800, 560, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(QColor(QStringLiteral("#ff7500")));
    if (!polylines) {
        drawPath(painter, path);
        return image;
    }
    for (const QPolygon &run : path) {
        if (run.size() == 1)
            painter.drawPoint(run.first());
        else
            painter.drawPolyline(run);
    }
    return image;
}

// Pixels that differ, apart from a reading's own pixel drawn by the fast
// drawing only: where two segments meet, or at the end, the polyline
// rasteriser sometimes leaves the vertex's pixel out.
int differingPixels(const QImage &fast, const QImage &reference, const QVector<QPolygon> &readings)
{
    QSet<QPair<int, int>> vertices;
    for (const QPolygon &run : readings)
        for (const QPoint &p : run)
            vertices.insert({p.x(), p.y()});
    const QRgb white = qRgb(255, 255, 255);
    int n = 0;
    for (int y = 0; y < fast.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(fast.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(reference.constScanLine(y));
        for (int x = 0; x < fast.width(); ++x)
            n += a[x] != b[x] && !(b[x] == white && vertices.contains({x, y}));
    }
    return n;
}

// Deterministic noise in [-1, 1).
QVector<double> noise(int n, quint32 seed)
{
    QVector<double> v;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        v.append((seed >> 8) / double(1 << 23) - 1);
    }
    return v;
}

DMMChart *newChart(QSize size)
{
    auto *chart = new DMMChart;
    chart->addLine(QColor(QStringLiteral("#44cef6")), QStringLiteral("Line2"));
    chart->resize(size);
    return chart;
}

// Readings a second apart on the chart's two lines.
std::shared_ptr<ReadingStore> showSeries(DMMChart &chart, const QVector<double> &first, const QVector<double> &second)
{
    auto store = std::make_shared<ReadingStore>();
    appendSeries(*store, first, second, 1000);
    chart.showReadings(store);
    return store;
}

// A record with LINE1 on CH1 and LINE2 on CH2, as the driver hands it out.
std::unique_ptr<DmmData> record(const QString &f1, double v1, const QString &t1, const QString &f2, double v2,
                                const QString &t2, int mode2 = DmmData::ValueNormal)
{
    auto data = std::make_unique<DmmData>();
    data->time = QDateTime(QDate(2024, 5, 1), QTime(12, 0));
    for (int i = 0; i < 2; ++i)
        data->lines[i]->channel = data->channels[i];
    ChannelData &ch1 = *data->channels[0];
    ChannelData &ch2 = *data->channels[1];
    ch1.functions[0] = f1;
    ch1.values[0] = v1;
    ch1.valueTexts[0] = t1;
    ch1.unitTexts[0] = QStringLiteral("mV");
    ch2.functions[1] = f2;
    ch2.values[1] = v2;
    ch2.valueModes[1] = mode2;
    ch2.valueTexts[1] = t2;
    ch2.unitTexts[1] = QStringLiteral("V");
    return data;
}

} // namespace

class ChartTest : public QObject
{
    Q_OBJECT
private slots:
    void timeAxisLayout_data();
    void timeAxisLayout();
    void timeLabelsNeverOverlap_data();
    void timeLabelsNeverOverlap();
    void valueAxisLayout_data();
    void valueAxisLayout();
    void nearestReading_data();
    void nearestReading();
    void zoomSelection_data();
    void zoomSelection();
    void indicatorPlacement_data();
    void indicatorPlacement();

    void fastDrawingMatchesEveryReading_data();
    void fastDrawingMatchesEveryReading();

    void denseOverloadsKeepTheSpike();
    void sameScaleSharesOneRange();
    void dragZoomsAndOtherReleasesReset();
    void indicatorFollowsTheMouse();
    void badInputDrawsWithoutFault_data();
    void badInputDrawsWithoutFault();

    void feederConfiguresAndLabels();

    void histogramBins_data();
    void histogramBins();
    void histogramLayout();
    void unchangedTitleDoesNotRepaint();
};

void ChartTest::timeAxisLayout_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<double>("xStep");
    QTest::addColumn<int>("labelStep");
    QTest::addColumn<int>("ticks");
    QTest::newRow("single point") << 800 << qint64(1) << 800.0 << 1 << 1;
    QTest::newRow("100 px per sample") << 800 << qint64(8) << 100.0 << 1 << 8;
    QTest::newRow("2 px per sample") << 800 << qint64(400) << 2.0 << 50 << 8;
    QTest::newRow("uneven") << 800 << qint64(300) << 800 / 300.0 << 37 << 8;
    QTest::newRow("million") << 800 << qint64(1000000) << 0.0008 << 125000 << 8;
    QTest::newRow("no points") << 800 << qint64(0) << 0.0 << 0 << 0;
    QTest::newRow("no width") << 0 << qint64(10) << 0.0 << 0 << 0;
}

void ChartTest::timeAxisLayout()
{
    QFETCH(int, width);
    QFETCH(qint64, count);
    QFETCH(double, xStep);
    QFETCH(int, labelStep);
    QFETCH(int, ticks);
    const TimeAxis axis = timeAxis(width, count);
    QCOMPARE(axis.xStep, xStep);
    QCOMPARE(axis.labelStep, labelStep);
    QCOMPARE(axis.pixelsPerLabel, labelStep * xStep);
    QCOMPARE(axis.tickCount, ticks);
}

void ChartTest::timeLabelsNeverOverlap_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<int>("labelWidth");
    QTest::addColumn<QVector<int>>("shown");
    QTest::newRow("room for every label") << 800 << qint64(8) << 80 << QVector<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("10 readings across 900 px") << 900 << qint64(10) << 120 << QVector<int>{0, 2, 4, 6, 8};
    QTest::newRow("labels wider than three ticks") << 900 << qint64(10) << 200 << QVector<int>{0, 3, 6, 9};
    QTest::newRow("no points") << 900 << qint64(0) << 120 << QVector<int>{};
}

// The ticks stay where the axis puts them; only labels that would be drawn
// over the one before them are left out.
void ChartTest::timeLabelsNeverOverlap()
{
    QFETCH(int, width);
    QFETCH(qint64, count);
    QFETCH(int, labelWidth);
    QFETCH(QVector<int>, shown);
    const TimeAxis axis = timeAxis(width, count);
    QVector<int> centres;
    for (int e = 0; e < axis.tickCount; ++e)
        centres << int(e * axis.pixelsPerLabel + 0.5);
    QCOMPARE(centres.size(), int(count));
    const QVector<int> drawn = shownTimeLabels(centres, QVector<int>(centres.size(), labelWidth), 6);
    QCOMPARE(drawn, shown);
    for (int i = 1; i < drawn.size(); ++i)
        QVERIFY(centres[drawn[i]] - centres[drawn[i - 1]] >= labelWidth + 6);
}

void ChartTest::valueAxisLayout_data()
{
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("unitsPerTick");
    QTest::addColumn<int>("above");
    QTest::addColumn<int>("below");
    QTest::addColumn<int>("zeroY");
    QTest::addColumn<QString>("topLabel");
    QTest::newRow("4.2 mV") << 0.0 << 0.0042 << "m" << 1 << 4 << 0 << 479 << "4.00m";
    QTest::newRow("12 V") << 0.0 << 12.0 << " " << 2 << 6 << 0 << 479 << "12.00 ";
    QTest::newRow("1.5 kW") << 0.0 << 1500.0 << "k" << 1 << 1 << 0 << 479 << "1.00k";
    QTest::newRow("negative only") << -3.0 << 0.0 << " " << 1 << 0 << 3 << 80 << "0.00 ";
    QTest::newRow("mixed") << -1.0 << 3.0 << " " << 1 << 3 << 1 << 380 << "3.00 ";
    QTest::newRow("all zero") << 0.0 << 0.0 << " " << 0 << 0 << 0 << 479 << "0.00 ";
    QTest::newRow("huge, finite") << 0.0 << 1e30 << "T" << 0 << 0 << 0 << 479 << "0.00T";
}

void ChartTest::valueAxisLayout()
{
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(QString, prefix);
    QFETCH(int, unitsPerTick);
    QFETCH(int, above);
    QFETCH(int, below);
    QFETCH(int, zeroY);
    QFETCH(QString, topLabel);
    const ValueAxis axis = valueAxis(minimum, maximum, Plot);
    QCOMPARE(axis.prefix, prefix);
    QCOMPARE(axis.unitsPerTick, unitsPerTick);
    QCOMPARE(axis.ticksAbove, above);
    QCOMPARE(axis.ticksBelow, below);
    QCOMPARE(axis.zeroY, zeroY);
    QCOMPARE(axis.tickLabel(above, 2), topLabel);
    // The range fills the plot height (give or take the rounding toward 0).
    if (axis.verticalScale > 0)
        QVERIFY(std::abs(axis.screenY(maximum) - axis.screenY(minimum) - Plot.height()) <= 1);
}

void ChartTest::nearestReading_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<int>("x");
    QTest::addColumn<qint64>("index");
    // Five readings 10 px apart: x = 0, 10, 20, 30, 40.
    QTest::newRow("exact") << 50 << qint64(5) << 20 << qint64(2);
    QTest::newRow("nearer left") << 50 << qint64(5) << 24 << qint64(2);
    QTest::newRow("nearer right") << 50 << qint64(5) << 26 << qint64(3);
    QTest::newRow("tie goes left") << 50 << qint64(5) << 25 << qint64(2);
    QTest::newRow("past the end") << 50 << qint64(5) << 49 << qint64(4);
    QTest::newRow("start") << 50 << qint64(5) << 0 << qint64(0);
    // Ten readings in 4 px: columns 0 0 1 1 2 2 2 3 3 4; the first of a column wins.
    QTest::newRow("first of its column") << 4 << qint64(10) << 2 << qint64(4);
    QTest::newRow("no readings") << 50 << qint64(0) << 10 << qint64(-1);
}

void ChartTest::nearestReading()
{
    QFETCH(int, width);
    QFETCH(qint64, count);
    QFETCH(int, x);
    QFETCH(qint64, index);
    QCOMPARE(nearestIndex(x, count, timeAxis(width, count)), index);
}

void ChartTest::zoomSelection_data()
{
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QPoint>("end");
    QTest::addColumn<bool>("zooms");
    QTest::addColumn<qint64>("first"); // -1: the window stays
    QTest::addColumn<qint64>("last");
    // Five readings 10 px apart.
    QTest::newRow("right and down") << QPoint(5, 5) << QPoint(35, 50) << true << qint64(1) << qint64(3);
    QTest::newRow("whole width") << QPoint(0, 0) << QPoint(50, 9) << true << qint64(0) << qint64(4);
    QTest::newRow("single reading") << QPoint(15, 0) << QPoint(25, 9) << true << qint64(-1) << qint64(-1);
    QTest::newRow("between readings") << QPoint(12, 0) << QPoint(19, 9) << true << qint64(-1) << qint64(-1);
    QTest::newRow("left") << QPoint(35, 5) << QPoint(5, 50) << false << qint64(-1) << qint64(-1);
    QTest::newRow("up") << QPoint(5, 50) << QPoint(35, 5) << false << qint64(-1) << qint64(-1);
    QTest::newRow("click") << QPoint(5, 5) << QPoint(5, 5) << false << qint64(-1) << qint64(-1);
}

void ChartTest::zoomSelection()
{
    QFETCH(QPoint, start);
    QFETCH(QPoint, end);
    QFETCH(bool, zooms);
    QFETCH(qint64, first);
    QFETCH(qint64, last);
    QCOMPARE(selectionZooms(start, end), zooms);
    if (!zooms)
        return;
    const auto range = zoomRange(start.x(), end.x(), 5, timeAxis(50, 5));
    QCOMPARE(range.has_value(), first >= 0);
    if (range) {
        QCOMPARE(range->first, first);
        QCOMPARE(range->last, last);
    }
}

void ChartTest::indicatorPlacement_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<QVector<int>>("ys");
    QTest::addColumn<QVector<int>>("lefts");
    QTest::addColumn<QVector<int>>("tops");
    // Font height 10: boxes 20 high, 23 px above their point.
    QTest::newRow("right of the line") << 200 << QVector<int>{300} << QVector<int>{203} << QVector<int>{277};
    QTest::newRow("left at the right edge") << 600 << QVector<int>{300} << QVector<int>{447} << QVector<int>{277};
    QTest::newRow("kept below the top") << 200 << QVector<int>{90} << QVector<int>{203} << QVector<int>{83};
    QTest::newRow("kept above the bottom") << 200 << QVector<int>{520} << QVector<int>{203} << QVector<int>{456};
    QTest::newRow("apart") << 200 << QVector<int>{300, 350} << QVector<int>{203, 203} << QVector<int>{277, 327};
    QTest::newRow("overlap moves up") << 200 << QVector<int>{300, 305} << QVector<int>{203, 203}
                                      << QVector<int>{259, 282};
    QTest::newRow("chain of three") << 200 << QVector<int>{300, 305, 310} << QVector<int>{203, 203, 203}
                                    << QVector<int>{241, 264, 287};
}

void ChartTest::indicatorPlacement()
{
    QFETCH(int, x);
    QFETCH(QVector<int>, ys);
    QFETCH(QVector<int>, lefts);
    QFETCH(QVector<int>, tops);
    const QVector<QRect> boxes = indicatorBoxes(ys, QVector<int>(ys.size(), 150), x, Plot, 10);
    QCOMPARE(boxes.size(), ys.size());
    for (int i = 0; i < boxes.size(); ++i) {
        QCOMPARE(boxes[i].left(), lefts[i]);
        QCOMPARE(boxes[i].top(), tops[i]);
        QCOMPARE(boxes[i].size(), QSize(150, 20));
    }
}

void ChartTest::fastDrawingMatchesEveryReading_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<qint64>("zoomFirst"); // -1: all readings
    QTest::addColumn<qint64>("zoomLast");
    QTest::addColumn<QVector<int>>("timeGaps"); // readings after a lost link
    const int n = 30000;
    QVector<double> spike(n, 1.0);
    spike[n / 2 + 17] = 50;
    spike[n / 3] = -20;
    QVector<double> step(n, 0.0);
    std::fill(step.begin() + n / 2, step.end(), 5.0);
    QVector<double> sine;
    for (int i = 0; i < n; ++i)
        sine.append(3 * std::sin(i * 7 * 2 * M_PI / n) + 1);
    QVector<double> gaps = noise(n, 7);
    for (int i = 0; i < n; i += 37)
        gaps[i] = NaN;
    std::fill(gaps.begin() + 5000, gaps.begin() + 9000, DmmData::OverloadSentinel);
    gaps[20001] = DmmData::NoneSentinel; // lone readings between gaps
    gaps[20003] = DmmData::LowSentinel;
    QVector<double> negative = noise(n, 3);
    for (double &v : negative)
        v = -2 - v;
    QTest::newRow("spike") << spike << qint64(-1) << qint64(-1) << QVector<int>{};
    QTest::newRow("step") << step << qint64(-1) << qint64(-1) << QVector<int>{};
    QTest::newRow("noise") << noise(n, 1) << qint64(-1) << qint64(-1) << QVector<int>{};
    QTest::newRow("sine") << sine << qint64(-1) << qint64(-1) << QVector<int>{};
    QTest::newRow("gaps") << gaps << qint64(-1) << qint64(-1) << QVector<int>{};
    QTest::newRow("negative") << negative << qint64(-1) << qint64(-1) << QVector<int>{};
    QTest::newRow("few readings") << noise(150, 5) << qint64(-1) << qint64(-1) << QVector<int>{};
    QTest::newRow("zoomed to single readings") << noise(n, 9) << qint64(20000) << qint64(20299) << QVector<int>{};
    QTest::newRow("zoomed, many per column") << sine << qint64(3000) << qint64(12999) << QVector<int>{};
    const QVector<int> lost{2, 4000, 4002, 17017, 29999};
    QTest::newRow("time gaps") << noise(n, 11) << qint64(-1) << qint64(-1) << lost;
    QTest::newRow("time gaps, single readings") << noise(150, 12) << qint64(-1) << qint64(-1)
                                               << QVector<int>{2, 75, 77, 149};
    QTest::newRow("time gaps, zoomed") << sine << qint64(3900) << qint64(4199) << lost;
    // More readings per column than are walked one by one: drawn from the summary.
    QVector<double> dense = noise(160000, 13);
    dense[123457] = 40;
    QTest::newRow("dense, spike, time gaps") << dense << qint64(-1) << qint64(-1)
                                             << QVector<int>{2, 40000, 40002, 150017, 159999};
}

void ChartTest::fastDrawingMatchesEveryReading()
{
    QFETCH(QVector<double>, values);
    QFETCH(qint64, zoomFirst);
    QFETCH(qint64, zoomLast);
    QFETCH(QVector<int>, timeGaps);
    auto line = lineOf(values, timeGaps);
    if (zoomFirst >= 0)
        line->showRange(zoomFirst, zoomLast);
    const TimeAxis time = layOut(*line, Plot);
    const QVector<QPolygon> fast = line->screenPath(time, Plot.left());
    const QVector<QPolygon> reference = everyReading(*line, time, Plot, timeGaps);
    QCOMPARE(differingPixels(render(fast, false), render(reference, true), reference), 0);

    int vertices = 0;
    for (const QPolygon &run : fast)
        vertices += run.size();
    const auto gaps = std::count_if(values.begin(), values.end(), [](double v) { return !isDrawable(v); });
    QVERIFY(vertices <= 4 * (Plot.width() + 1 + gaps + timeGaps.size()));
    if (time.xStep >= 1) // single readings show: the polyline goes through every one
        QCOMPARE(fast, reference);
}

// A column of many readings with overloads among them is one stroke over
// its extremes: a single reading far off still shows.
void ChartTest::denseOverloadsKeepTheSpike()
{
    QVector<double> values = noise(160000, 15);
    for (int i = 0; i < values.size(); i += 997)
        values[i] = DmmData::OverloadSentinel;
    values[123457] = 40;
    auto line = lineOf(values);
    const TimeAxis time = layOut(*line, Plot);
    const int spikeY = line->axis.zeroY - line->axis.screenY(40);
    const int spikeX = Plot.left() + time.screenX(123457);
    int vertices = 0;
    bool spikeDrawn = false;
    for (const QPolygon &run : line->screenPath(time, Plot.left())) {
        vertices += run.size();
        spikeDrawn = spikeDrawn || run.contains(QPoint(spikeX, spikeY));
    }
    QVERIFY(spikeDrawn);
    QVERIFY(vertices <= 4 * (Plot.width() + 1) + 2 * 161);
}

void ChartTest::sameScaleSharesOneRange()
{
    std::unique_ptr<DMMChart> chart(newChart({800, 600}));
    showSeries(*chart, {0.0042, 0.0041}, {12, 11});
    for (bool same : {true, false}) {
        chart->setSameScale(same);
        chart->grab();
        const QList<ChartLine *> lines = chart->lines();
        QCOMPARE(lines[0]->axis.prefix, same ? QStringLiteral(" ") : QStringLiteral("m"));
        QCOMPARE(lines[1]->axis.prefix, QStringLiteral(" "));
        QCOMPARE(lines[0]->axis.maximum == lines[1]->axis.maximum, same);
    }
}

void ChartTest::dragZoomsAndOtherReleasesReset()
{
    std::unique_ptr<DMMChart> chart(newChart({800, 600})); // plot 160..639 wide from x 80
    const auto store = showSeries(*chart, noise(400, 2), noise(400, 4));
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    chart->grab();
    ChartLine *line = chart->lines()[0];
    QCOMPARE(line->visibleCount(), qint64(400));

    QTest::mousePress(chart.get(), Qt::LeftButton, {}, {180, 200});
    QTest::mouseMove(chart.get(), {380, 300});
    QTest::mouseRelease(chart.get(), Qt::LeftButton, {}, {380, 300});
    chart->grab();
    // 200 px of 640 hold 125 of the 400 readings.
    QVERIFY(line->visibleCount() > 100 && line->visibleCount() < 150);
    QCOMPARE(chart->lines()[1]->visibleCount(), line->visibleCount());
    const qint64 zoomedFirst = line->first();

    appendSeries(*store, {1, 2, 3}, {1, 2, 3}, 1000);
    chart->setReadingCount(store->count());
    chart->grab();
    QCOMPARE(line->first(), zoomedFirst); // new readings leave the zoom alone

    QTest::mousePress(chart.get(), Qt::LeftButton, {}, {380, 200});
    QTest::mouseMove(chart.get(), {180, 300});
    QTest::mouseRelease(chart.get(), Qt::LeftButton, {}, {180, 300}); // dragged left
    chart->grab();
    QCOMPARE(line->visibleCount(), qint64(403));
}

void ChartTest::indicatorFollowsTheMouse()
{
    std::unique_ptr<DMMChart> chart(newChart({800, 600}));
    showSeries(*chart, {1, 2, 3, 4}, {4, 3, 2, 1});
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    const QImage before = chart->grab().toImage();
    QTest::mouseMove(chart.get(), {80 + 160 + 20, 300}); // nearest to the second reading, at x 160
    const QImage after = chart->grab().toImage();
    auto redInColumn = [](const QImage &image, int x) {
        int n = 0;
        for (int y = 80; y < 520; ++y)
            n += image.pixel(x, y) == qRgb(255, 0, 0);
        return n;
    };
    QCOMPARE(redInColumn(before, 240), 0);
    QVERIFY(redInColumn(after, 240) > 100);
    chart->slotTmrIndicatorTimeout();
    QCOMPARE(redInColumn(chart->grab().toImage(), 240), 0);
}

void ChartTest::badInputDrawsWithoutFault_data()
{
    const double inf = std::numeric_limits<double>::infinity();
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("maximum"); // of the line's axis, in prefixed units
    QTest::newRow("no points") << QVector<double>{} << QSize(800, 600) << 0.0;
    QTest::newRow("NaN and infinities") << QVector<double>{NaN, 2, inf, -inf, 1} << QSize(800, 600) << 2.0;
    QTest::newRow("sentinels") << QVector<double>{DmmData::OverloadSentinel, 3, DmmData::NoneSentinel,
                                                  DmmData::LowSentinel}
                               << QSize(800, 600) << 3.0;
    QTest::newRow("only sentinels") << QVector<double>{DmmData::OverloadSentinel, DmmData::OverloadSentinel}
                                    << QSize(800, 600) << 0.0;
    QTest::newRow("single point") << QVector<double>{5} << QSize(800, 600) << 5.0;
    QTest::newRow("all equal") << QVector<double>(50, 7.0) << QSize(800, 600) << 7.0;
    QTest::newRow("all zero") << QVector<double>(50, 0.0) << QSize(800, 600) << 0.0;
    QTest::newRow("negative only") << QVector<double>{-1, -2, -0.5} << QSize(800, 600) << 0.0;
    QTest::newRow("too small for the plot") << QVector<double>{1, 2} << QSize(150, 100) << 0.0;
    QTest::newRow("one pixel of plot") << QVector<double>{1, 2, 3} << QSize(161, 161) << 3.0;
}

void ChartTest::badInputDrawsWithoutFault()
{
    QFETCH(QVector<double>, values);
    QFETCH(QSize, size);
    QFETCH(double, maximum);
    std::unique_ptr<DMMChart> chart(newChart(size));
    showSeries(*chart, values, values);
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    QTest::mouseMove(chart.get(), {size.width() / 2, size.height() / 2});
    chart->grab();
    QCOMPARE(chart->lines()[0]->axis.maximum, maximum);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chart.png"));
    const bool roomForPlot = size.width() > 160 && size.height() > 160;
    QCOMPARE(chart->savePicture(path), roomForPlot);
    if (roomForPlot)
        QCOMPARE(QImage(path).size(), size);
}

void ChartTest::feederConfiguresAndLabels()
{
    QTabWidget tabs;
    auto *histogramTab = new QWidget;
    tabs.addTab(new QWidget, QStringLiteral("Table"));
    tabs.addTab(histogramTab, QStringLiteral("Histogram"));
    auto *chart = new DMMChart;
    tabs.addTab(chart, QStringLiteral("Chart"));
    Histogram histogram;
    ChartFeeder feeder(chart, &histogram);
    feeder.setUp(&tabs, histogramTab);
    QCOMPARE(tabs.count(), 2);
    QCOMPARE(tabs.indexOf(histogramTab), -1);
    delete histogramTab;

    auto volts = record(QStringLiteral("VOLT"), 0.01235, QStringLiteral("12.35"), QStringLiteral("VOLT"), 9.9e37,
                        QStringLiteral("OL"), DmmData::ValueOverload);
    auto decibels = record(QStringLiteral("VOLT"), 0.0124, QStringLiteral("12.40"), QStringLiteral("DBM"), -3,
                           QStringLiteral("-3.000"));
    const QList<ChartLine *> lines = chart->lines();
    auto store = std::make_shared<ReadingStore>();
    feeder.show(store);
    store->append(*volts);
    feeder.grow(*store, 1);
    chart->resize(800, 600);
    chart->grab();
    QCOMPARE(lines[0]->label(0), QStringLiteral("[Line1]VOLT 12.35mV"));
    QCOMPARE(lines[1]->label(0), QStringLiteral("[Line2]VOLT OLV"));
    double value = 0;
    QVERIFY(!lines[1]->valueAt(0, &value)); // overload is a gap, not 9.9e37
    QCOMPARE(lines[0]->axis.maximum, lines[1]->axis.maximum); // same function, same scale

    store->append(*decibels);
    feeder.grow(*store, 2);
    chart->grab();
    QCOMPARE(lines[1]->label(1), QStringLiteral("[Line2]DBM -3.000V"));
    QVERIFY(lines[0]->axis.maximum != lines[1]->axis.maximum);

    store->append(*volts);
    feeder.show(store);
    QCOMPARE(lines[0]->count(), qint64(3));
    QCOMPARE(lines[1]->count(), qint64(3));
    feeder.clear();
    QCOMPARE(lines[0]->count(), qint64(0));
}

void ChartTest::histogramBins_data()
{
    QTest::addColumn<double>("sample");
    QTest::addColumn<int>("bin"); // -1: none
    QTest::newRow("200 in (0, 200]") << 200.0 << 1;
    QTest::newRow("200.1 in the next") << 200.1 << 2;
    QTest::newRow("-5 in the first") << -5.0 << 0;
    QTest::newRow("0 in the first") << 0.0 << 0;
    QTest::newRow("-inf in the first") << -std::numeric_limits<double>::infinity() << 0;
    QTest::newRow("1250 in (1000, 1250]") << 1250.0 << 6;
    QTest::newRow("5000 in the last") << 5000.0 << 7;
    QTest::newRow("NaN nowhere") << NaN << -1;
}

void ChartTest::histogramBins()
{
    QFETCH(double, sample);
    QFETCH(int, bin);
    const QVector<HistogramLayout::Range> ranges = ChartFeeder::histogramRanges();
    QVector<int> expected(ranges.size(), 0);
    if (bin >= 0)
        expected[bin] = 1;
    QCOMPARE(HistogramLayout::binCounts(ranges, {sample}), expected);
}

void ChartTest::histogramLayout()
{
    const HistogramLayout::Layout empty = HistogramLayout::layout(QVector<int>(8, 0), {500, 400});
    QCOMPARE(empty.bars.size(), 8);
    for (const QRectF &bar : empty.bars)
        QCOMPARE(bar.width(), 1.0);
    QCOMPARE(HistogramLayout::countText(0), QStringLiteral("0 "));
    QCOMPARE(empty.bars[0], QRectF(0, 5 - 50, 1, 40)); // 80 % of a 50 px slot, bottom slot first

    const HistogramLayout::Layout counted = HistogramLayout::layout({0, 3, 10}, {501, 300});
    QCOMPARE(counted.pixelsPerCount, 50.0);
    QCOMPARE(counted.countStep, 1);
    QCOMPARE(counted.bars[1].width(), 150.0);
    QCOMPARE(HistogramLayout::layout({0, 50}, {501, 300}).countStep, 5); // 10 px per count

    Histogram histogram;
    histogram.resize(20, 20); // no room for a plot
    histogram.grab();
}

void ChartTest::unchangedTitleDoesNotRepaint()
{
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    Histogram histogram;
    histogram.setHorizontalTitle(QStringLiteral("Rate"));
    histogram.resize(400, 300);
    histogram.show();
    QVERIFY(QTest::qWaitForWindowExposed(&histogram));
    histogram.installEventFilter(&counter);
    histogram.setHorizontalTitle(QStringLiteral("Rate"));
    QTest::qWait(50);
    QCOMPARE(counter.paints, 0);
    histogram.setHorizontalTitle(QStringLiteral("Count"));
    QTRY_VERIFY(counter.paints > 0);
}

QTEST_MAIN(ChartTest)
#include "tst_chart.moc"
