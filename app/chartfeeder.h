#pragma once

#include "histogram.h"

#include <QList>

class DMMChart;
class DmmData;
class QTabWidget;
class QWidget;

// Puts the active item's readings on the trend chart and configures the
// chart and the histogram as the main window shows them.
//
//   ChartFeeder(chart, histogram)  both belong to the window's form
//   setUp(tabs, histogramTab)      window set-up: the second line, names,
//                                  colours, axis sizes and titles, same scale
//                                  on; the histogram's margins, ranges and
//                                  titles; then removes the histogram's tab
//   append(record)                 one point per display line, labelled
//                                  "[Line%1]%2 %3%4" (appendRecordToViews)
//   clear()                        removes every point
//   fill(records)                  clear, then every record in order, with a
//                                  single repaint (refreshItemViews)
//
// The chart refers to the records for the indicator's text and never owns
// them: clear it before the records it shows are deleted. A reading in
// overload, low or without value is kept as a point without value: the line
// breaks there and the indicator shows its text ("OL", "Lo", "-----").
class ChartFeeder
{
public:
    ChartFeeder(DMMChart *chart, Histogram *histogram);

    void setUp(QTabWidget *tabs, QWidget *histogramTab);
    void append(const DmmData &record);
    void clear();
    void fill(const QList<DmmData *> &records);

    // The histogram's ranges: up to 0, 200-wide ranges to 1000, to 1250, beyond.
    static QVector<HistogramLayout::Range> histogramRanges();

private:
    void addRecord(const DmmData &record);

    DMMChart *chart;
    Histogram *histogram;
};
