// Long logging sessions: heap bytes per recorded reading, the time to show a
// large item (make it active), and the cost of one more reading at the end
// of a large item against an empty one.
#include "dmmdata.h"
#include "varnoktestaccess.h"
#include "itemdata.h"
#include "itemviews.h"
#include "tdmsummarytablewgt.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

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

private:
    DecoderBench decoder;
};

size_t heapInUse()
{
    return mallinfo2().uordblks;
}

void fill(ItemData &item, Readings &readings, int count)
{
    for (int n = 0; n < count; ++n)
        item.appendData(readings.next(n));
}

double appendMicroseconds(ItemData &item, ItemViews &views, Readings &readings, int appends)
{
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < appends; ++n) {
        DmmData *record = readings.next(n);
        item.appendData(record);
        views.append(*record);
    }
    return clock.nsecsElapsed() / 1e3 / appends;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Readings readings;

    for (int count : {100000, 1000000}) {
        const size_t before = heapInUse();
        {
            ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
            fill(item, readings, count);
            std::printf("heap per recorded reading, %d readings: %.0f bytes (aim: 1024)\n", count,
                        double(heapInUse() - before) / count);

            TDMSummaryTableWgt table;
            table.resize(900, 600);
            table.show();
            ItemViews views(&table);
            QElapsedTimer clock;
            clock.start();
            views.show(item);
            QApplication::processEvents();
            std::printf("making a %d-reading item active: %.0f ms (aim: 1000)\n", count, clock.nsecsElapsed() / 1e6);
            std::printf("one more reading at %d readings: %.1f us\n", count, appendMicroseconds(item, views, readings, 1000));
            views.clear();
        }
    }
    {
        ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
        TDMSummaryTableWgt table;
        table.show();
        ItemViews views(&table);
        std::printf("one more reading at 0 readings: %.1f us\n", appendMicroseconds(item, views, readings, 1000));
        views.clear();
    }
    return 0;
}
