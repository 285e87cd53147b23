#pragma once

#include "histogram.h"

#include <memory>

class DMMChart;
class DmmData;
class QTabWidget;
class ReadingStore;
class QWidget;

// Puts the active item's readings on the trend chart and configures the
// chart and the histogram as the main window shows them.
//
//   ChartFeeder(chart, histogram)  both belong to the window's form
//   setUp(tabs, histogramTab)      window set-up: the second line, names,
//                                  colours, axis sizes and titles, same scale
//                                  on, the indicator's labels "[Line%1]%2
//                                  %3%4"; the histogram's margins, ranges and
//                                  titles; then removes the histogram's tab
//   show(readings)                 every reading of a store, in place of
//                                  what was shown (refreshItemViews)
//   grow(readings, count)          the readings appended since, up to count
//                                  (appendRecordToViews)
//   clear()                        shows nothing
//
// Both lines share one scale while the last reading shows one function on
// both. A reading in overload, low or without value has no point: the line
// breaks there and the indicator shows its text ("OL", "Lo", "-----").
class ChartFeeder
{
public:
    ChartFeeder(DMMChart *chart, Histogram *histogram);

    void setUp(QTabWidget *tabs, QWidget *histogramTab);
    void show(const std::shared_ptr<const ReadingStore> &readings);
    void grow(const ReadingStore &readings, qint64 count);
    void clear();

    // The histogram's ranges: up to 0, 200-wide ranges to 1000, to 1250, beyond.
    static QVector<HistogramLayout::Range> histogramRanges();

private:
    void scaleAsLastOf(const ReadingStore &readings, qint64 count);

    DMMChart *chart;
    Histogram *histogram;
};
