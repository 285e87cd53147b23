// Long logging sessions: heap bytes per recorded reading, the time to show a
// large item (make it active), and the cost of one more reading at the end
// of a large item against an empty one.
#include "benchitems.h"
#include "dmmdata.h"
#include "itemdata.h"
#include "itemviews.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

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

            Views shown;
            ItemViews &views = shown.views;
            // The chart is what a large item costs most to show.
            shown.tabs.setCurrentIndex(1);
            QApplication::processEvents();
            QElapsedTimer clock;
            clock.start();
            views.show(item);
            QApplication::processEvents(); // laid out and painted
            std::printf("making a %d-reading item active: %.0f ms (aim: 1000)\n", count, clock.nsecsElapsed() / 1e6);
            std::printf("one more reading at %d readings: %.1f us\n", count, appendMicroseconds(item, views, readings, 1000));
            views.clear();
        }
    }
    {
        ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
        Views shown;
        ItemViews &views = shown.views;
        std::printf("one more reading at 0 readings: %.1f us\n", appendMicroseconds(item, views, readings, 1000));
        views.clear();
    }
    return 0;
}
