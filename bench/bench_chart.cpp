// Trend chart at scale: for 10^3, 10^5 and 10^6 readings per line, the time
// of a full repaint (axes and lines layers), of adding one reading and
// repainting, and of repainting for an indicator move, and the heap bytes per
// reading per line. Also the time to fill the chart from a list of records.
//
// bench_chart [width [height]]   (defaults 1200 and 700, the chart's pixels)
#include "chartfeeder.h"
#include "dmmchart.h"
#include "dmmdata.h"
#include "histogram.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTabWidget>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd; // small blocks and mapped large ones
}

// Median of `runs` timings of `step`, in milliseconds.
double medianMs(int runs, const std::function<void()> &step)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        step();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void moveMouse(QWidget *widget, QPoint pos)
{
    QMouseEvent event(QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// Two display lines of noisy readings around 123 mV and 1.2 V, five a second.
QVector<ChartPoint> reading(qint64 i, const QDateTime &start)
{
    const QDateTime time = start.addMSecs(i * 200);
    const double wobble = std::sin(i * 0.001) + 0.01 * ((i * 7919) % 101 - 50);
    return {{time, 0.123 + 0.01 * wobble, nullptr}, {time, 1.2 + 0.1 * wobble, nullptr}};
}

void chartAtScale(QTabWidget &tabs, QWidget *histogramTab, qint64 count)
{
    auto *chart = new DMMChart;
    Histogram histogram;
    ChartFeeder feeder(chart, &histogram);
    tabs.addTab(histogramTab, QStringLiteral("Histogram"));
    const int chartTab = tabs.addTab(chart, QStringLiteral("Chart"));
    feeder.setUp(&tabs, histogramTab);
    tabs.setCurrentIndex(chartTab);
    QCoreApplication::processEvents();

    const QDateTime start = QDateTime::currentDateTime();
    std::vector<QVector<ChartPoint>> readings;
    for (qint64 i = 0; i < count; ++i)
        readings.push_back(reading(i, start));
    const std::size_t heapBefore = heapInUse();
    QElapsedTimer clock;
    clock.start();
    chart->reservePoints(count);
    for (const QVector<ChartPoint> &points : readings)
        chart->addPoints(points);
    chart->repaint();
    const double fillMs = clock.nsecsElapsed() / 1e6;
    const double bytesPerPoint = double(heapInUse() - heapBefore) / double(2 * count);
    readings = {};

    const int runs = count >= 1000000 ? 15 : 40;
    const double fullMs = medianMs(runs, [&] {
        chart->setSameScale(false); // a change of scale redraws everything
        chart->setSameScale(true);
        chart->repaint();
    });
    qint64 next = count;
    const double addMs = medianMs(runs, [&] {
        chart->addPoints(reading(next++, start));
        chart->repaint();
    });
    const QPoint a(chart->width() / 3, chart->height() / 2);
    const QPoint b(chart->width() / 2, chart->height() / 2);
    int move = 0;
    const double indicatorMs = medianMs(runs, [&] {
        moveMouse(chart, ++move % 2 ? a : b);
        chart->repaint();
    });

    std::printf("%9lld  %12.2f  %12.2f  %12.2f  %11.1f  %10.1f\n", static_cast<long long>(count), fullMs, addMs,
                indicatorMs, bytesPerPoint, fillMs);
    tabs.removeTab(tabs.indexOf(chart));
    delete chart;
}

// Records like those the driver emits: LINE1 on CH1 and LINE2 on CH2.
std::vector<std::unique_ptr<DmmData>> records(int count)
{
    std::vector<std::unique_ptr<DmmData>> list;
    const QDateTime start = QDateTime::currentDateTime();
    for (int i = 0; i < count; ++i) {
        auto data = std::make_unique<DmmData>();
        data->time = start.addMSecs(i * 200);
        for (int line = 0; line < 2; ++line) {
            data->lines[line]->channel = data->channels[line];
            ChannelData &channel = *data->channels[line];
            channel.functions[line] = QStringLiteral("VOLT");
            channel.values[line] = 0.1 + line + 1e-6 * (i % 1000);
            channel.valueTexts[line] = QStringLiteral("123.45");
            channel.unitTexts[line] = QStringLiteral("mV");
        }
        list.push_back(std::move(data));
    }
    return list;
}

void fillFromRecords(int count)
{
    QTabWidget tabs;
    auto *chart = new DMMChart;
    auto *histogramTab = new QWidget;
    Histogram histogram;
    tabs.addTab(histogramTab, QStringLiteral("Histogram"));
    tabs.addTab(chart, QStringLiteral("Chart"));
    ChartFeeder feeder(chart, &histogram);
    feeder.setUp(&tabs, histogramTab);
    delete histogramTab;
    tabs.resize(1200, 700);
    tabs.show();

    const auto owned = records(count);
    QList<DmmData *> list;
    for (const auto &record : owned)
        list.append(record.get());
    QElapsedTimer clock;
    clock.start();
    feeder.fill(list);
    chart->repaint();
    std::printf("fill from %d records and first repaint: %.1f ms\n", count, clock.nsecsElapsed() / 1e6);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int width = args.size() > 1 ? args[1].toInt() : 1200;
    const int height = args.size() > 2 ? args[2].toInt() : 700;

    QTabWidget tabs;
    tabs.resize(width, height);
    tabs.show();
    std::printf("chart %dx%d; sizeof(ChartPoint) %zu bytes; times are medians in ms\n", width, height,
                sizeof(ChartPoint));
    std::printf("%9s  %12s  %12s  %12s  %11s  %10s\n", "points", "full repaint", "add+repaint", "indicator",
                "bytes/point", "fill+paint");
    for (qint64 count : {1000, 100000, 1000000})
        chartAtScale(tabs, new QWidget, count);
    fillFromRecords(100000);
    return 0;
}
