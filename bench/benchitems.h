#pragma once

// What the item benchmarks share: readings as the driver makes them and the
// window's views of an item.

#include "dmmchart.h"
#include "dmmdata.h"
#include "histogram.h"
#include "itemviews.h"
#include "tdmsummarytablewgt.h"
#include "varnoktestaccess.h"

#include <QDateTime>
#include <QString>
#include <QTabWidget>

#include <fstream>
#include <string>

// VmRSS (resident now) or VmHWM (resident at its peak) of this process, in kB.
inline double statusKb(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == field) {
            double kb = 0;
            status >> kb;
            return kb;
        }
    }
    return 0;
}

// Readings made as the driver makes them: answers decoded into its live
// record, then the copy it emits, stamped and converted.
class Readings
{
public:
    Readings()
    {
        decoder.bindLines("CH1,VOLT", "CH2,VOLT");
        decoder.decode("VOLTage:RANGe:CH1?", "AUTO,300mV");
        decoder.decode("VOLTage:RANGe:CH2?", "AUTO,3V");
    }

    // The next reading with another function on line 2.
    DmmData *nextInDb(int n)
    {
        decoder.bindLines("CH1,VOLT", "CH2,DB");
        DmmData *record = next(n);
        decoder.bindLines("CH1,VOLT", "CH2,VOLT");
        return record;
    }

    DmmData *next(int n)
    {
        const QByteArray fetch = QStringLiteral("%1,%2,%3,%4")
                                     .arg(0.123 + n % 1000 * 1e-6, 0, 'E', 5)
                                     .arg(1.2 + n % 700 * 1e-5, 0, 'E', 5)
                                     .arg(1000.0 + n % 13, 0, 'E', 5)
                                     .arg(50.0 + n % 11 * 1e-3, 0, 'E', 5)
                                     .toLatin1();
        decoder.decode("Fetch?", fetch);
        auto *copy = new DmmData(decoder.live());
        copy->setTime(QDateTime::currentDateTime());
        VarnokTestAccess::convert(decoder.driver, copy);
        return copy;
    }

    const Varnok &driver() const { return decoder.driver; }

private:
    DecoderBench decoder;
};

// The window's views of an item: table, chart and histogram in their tabs.
struct Views
{
    QTabWidget tabs;
    TDMSummaryTableWgt *table = new TDMSummaryTableWgt;
    DMMChart *chart = new DMMChart;
    Histogram *histogram = new Histogram;
    ItemViews views{table, chart, histogram};

    Views()
    {
        tabs.addTab(table, QStringLiteral("Table"));
        tabs.addTab(chart, QStringLiteral("Chart"));
        tabs.addTab(histogram, QStringLiteral("Histogram"));
        views.setUpCharts(&tabs, histogram);
        tabs.resize(1000, 650);
        tabs.show();
    }
};
