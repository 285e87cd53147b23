// Trend chart at scale: for 10^3 to 1.3 x 10^7 readings (two lines, one
// overload in a thousand, a spike), the time to show an item (first paint),
// of a full repaint (axes and lines layers), of adding one reading and
// repainting, of an indicator move, of a zoom by drag and of its reset (each
// a frame), and the chart's own heap bytes per reading (the store's are not
// counted).
//
// bench_chart [width [height]]   (defaults 1200 and 700, the chart's pixels)
#include "chartfeeder.h"
#include "dmmchart.h"
#include "dmmdata.h"
#include "histogram.h"
#include "readingstore.h"

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

void sendMouse(QWidget *widget, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// Two display lines of noisy readings around 123 mV and 1.2 V, five a second.
class Readings
{
public:
    Readings()
    {
        for (int line = 0; line < 2; ++line) {
            record.lines[line]->channel = record.channels[line];
            record.channels[line]->functions[line] = QStringLiteral("VOLT");
            record.channels[line]->unitTexts[line] = QStringLiteral("V");
        }
    }
    void append(ReadingStore &store, qint64 i)
    {
        record.time = start.addMSecs(i * 200);
        const double wobble = std::sin(double(i) * 0.001) + 0.01 * double((i * 7919) % 101 - 50);
        ChannelData &first = *record.channels[0];
        first.values[0] = i == 7777 ? 0.9 : 0.123 + 0.01 * wobble;
        first.valueModes[0] = i % 1000 == 500 ? DmmData::ValueOverload : DmmData::ValueNormal;
        record.channels[1]->values[1] = 1.2 + 0.1 * wobble;
        store.append(record);
    }

private:
    DmmData record;
    const QDateTime start = QDateTime::currentDateTime();
};

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

    auto store = std::make_shared<ReadingStore>();
    Readings readings;
    for (qint64 i = 0; i < count; ++i)
        readings.append(*store, i);
    const std::size_t heapBefore = heapInUse();
    QElapsedTimer clock;
    clock.start();
    feeder.show(store);
    chart->repaint();
    const double showMs = clock.nsecsElapsed() / 1e6;
    const double bytesPerReading = double(qint64(heapInUse()) - qint64(heapBefore)) / double(count);

    const int runs = count >= 1000000 ? 9 : 40;
    const double fullMs = medianMs(runs, [&] {
        chart->setSameScale(false); // a change of scale redraws everything
        chart->setSameScale(true);
        chart->repaint();
    });
    qint64 next = count;
    const double addMs = medianMs(runs, [&] {
        readings.append(*store, next++);
        feeder.grow(*store, store->count());
        chart->repaint();
    });
    const QPoint a(chart->width() / 3, chart->height() / 2);
    const QPoint b(chart->width() / 2, chart->height() / 2);
    int move = 0;
    const double indicatorMs = medianMs(runs, [&] {
        sendMouse(chart, QEvent::MouseMove, ++move % 2 ? a : b, Qt::NoButton);
        chart->repaint();
    });
    // A drag over the middle third zooms in; a click shows everything again.
    const QPoint from(chart->width() / 3, chart->height() / 3);
    const QPoint to(2 * chart->width() / 3, 2 * chart->height() / 3);
    std::vector<double> zooms;
    std::vector<double> resets;
    for (int i = 0; i < runs; ++i) {
        clock.restart();
        sendMouse(chart, QEvent::MouseButtonPress, from, Qt::LeftButton);
        sendMouse(chart, QEvent::MouseMove, to, Qt::LeftButton);
        sendMouse(chart, QEvent::MouseButtonRelease, to, Qt::NoButton);
        chart->repaint();
        zooms.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        sendMouse(chart, QEvent::MouseButtonPress, from, Qt::LeftButton);
        sendMouse(chart, QEvent::MouseButtonRelease, from, Qt::NoButton);
        chart->repaint();
        resets.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(zooms.begin(), zooms.end());
    std::sort(resets.begin(), resets.end());
    const double zoomMs = zooms[zooms.size() / 2];
    const double resetMs = resets[resets.size() / 2];
    const double longestMs = std::max(zooms.back(), resets.back());

    std::printf("%9lld  %8.1f  %8.2f  %8.2f  %9.2f  %8.2f  %8.2f  %8.2f  %9.1f\n", static_cast<long long>(count),
                showMs, fullMs, addMs, indicatorMs, zoomMs, resetMs, longestMs, bytesPerReading);
    tabs.removeTab(tabs.indexOf(chart));
    delete chart;
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
    std::printf("chart %dx%d; times in ms, medians but the longest zoom or reset frame\n", width, height);
    std::printf("%9s  %8s  %8s  %8s  %9s  %8s  %8s  %8s  %9s\n", "readings", "show", "full", "add", "indicator",
                "zoom", "reset", "longest", "B/reading");
    for (qint64 count : {1000, 100000, 1000000, 13000000})
        chartAtScale(tabs, new QWidget, count);
    return 0;
}
