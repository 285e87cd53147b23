// Long logging sessions: an item alone at 10^5, 10^6 and 10^7 readings
// (resident and heap bytes per reading, one more reading, deleting it), and
// at 10^7 kept in a journal's binary file as a recording keeps it; then with
// the table and the chart at 10^5 and 10^6 readings, or the counts given:
// heap bytes per recorded reading, the time to show a large item (make it
// active), the cost of one more reading at the end of a large item against an
// empty one, and the longest stall of the GUI thread when a large item is
// switched away from, restarted by a function change or deleted.
#include "benchitems.h"
#include "dmmdata.h"
#include "itemdata.h"
#include "itemviews.h"
#include "metersession.h"
#include "recorder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <vector>

namespace {

// Heap blocks and the large blocks the allocator maps on their own (the
// store's chunks).
size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void fill(ItemData &item, Readings &readings, int count)
{
    for (int n = 0; n < count; ++n)
        item.appendData(readings.next(n));
}

// The time of appendData alone (the readings are made first); when the item
// is on view, each reading reaches the table and the chart too.
double appendMicroseconds(ItemData &item, Readings &readings, int appends)
{
    std::vector<DmmData *> made;
    for (int n = 0; n < appends; ++n)
        made.push_back(readings.next(n));
    QElapsedTimer clock;
    clock.start();
    for (DmmData *record : made)
        item.appendData(record);
    return clock.nsecsElapsed() / 1e3 / appends;
}

// The longest time the GUI thread goes without getting back to its event
// loop: the action itself, then the turn of the loop that follows it.
double longestStallMs(const std::function<void()> &action)
{
    QElapsedTimer clock;
    clock.start();
    action();
    double longest = clock.nsecsElapsed() / 1e6;
    clock.restart();
    QApplication::processEvents();
    return std::max(longest, clock.nsecsElapsed() / 1e6);
}

void measureStalls(int count, Readings &readings)
{
    Views shown;
    ItemViews &views = shown.views;
    shown.tabs.setCurrentIndex(1);
    MeterSession session(QStringLiteral("bench_items")); // writes no journal
    Recorder recorder(session);
    ItemData empty(QStringLiteral("Empty"), ItemData::MeasureData);
    auto item = std::make_unique<ItemData>(QStringLiteral("Measure1"), ItemData::MeasureData);
    session.startRecording(item.get(), item->name());
    const auto report = [count](const char *what, double ms) {
        std::printf("longest GUI stall, %s at %d readings: %.0f ms (aim: 250)\n", what, count, ms);
    };

    fill(*item, readings, count);
    views.show(*item);
    QApplication::processEvents();
    report("switching away", longestStallMs([&] { views.show(empty); }));

    views.show(*item);
    QApplication::processEvents();
    std::unique_ptr<DmmData> other(readings.nextInDb(0));
    report("function-change restart", longestStallMs([&] {
        if (recorder.offer(other.get(), item.get()))
            other.release();
    }));

    fill(*item, readings, count);
    views.show(*item);
    QApplication::processEvents();
    report("deleting the item", longestStallMs([&] { item.reset(); }));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Readings readings;
    // The item alone, as a recording keeps it, up to 10^7 readings.
    for (int count : {100000, 1000000, 10000000}) {
        const size_t before = heapInUse();
        const double residentBefore = statusKb("VmRSS:");
        ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
        QElapsedTimer clock;
        clock.start();
        fill(item, readings, count);
        const double fillSeconds = clock.nsecsElapsed() / 1e9;
        std::printf("item alone, %d readings: %.0f resident and %.0f heap bytes per reading (aim: 64), %.1f us per"
                    " reading kept (the driver's copy and conversion included)\n",
                    count, (statusKb("VmRSS:") - residentBefore) * 1024 / count, double(heapInUse() - before) / count,
                    fillSeconds * 1e6 / count);
        std::printf("item alone, one more reading at %d readings: %.1f us (aim: 20)\n", count,
                    appendMicroseconds(item, readings, 1000));
        std::printf("item alone, deleting it at %d readings: %.0f ms\n", count,
                    longestStallMs([&] { item.clearDatas(); }));
    }

    {
        // Recorded with the journal on: the readings go to the binary file beside it.
        constexpr int Count = 10000000;
        QTemporaryDir folder;
        const double residentBefore = statusKb("VmRSS:");
        ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
        item.keepReadingsBeside(folder.filePath(QStringLiteral("Measure1.csv")));
        fill(item, readings, Count);
        std::printf("item kept in a journal's binary file, %d readings: %.0f resident bytes per reading\n", Count,
                    (statusKb("VmRSS:") - residentBefore) * 1024 / Count);
        std::printf("item kept in a journal's binary file, one more reading at %d readings: %.1f us (aim: 20)\n",
                    Count, appendMicroseconds(item, readings, 1000));
    }

    // With the table and the chart, at 10^5 and 10^6 readings or the counts given.
    QVector<int> counts{100000, 1000000};
    if (argc > 1) {
        counts.clear();
        for (int i = 1; i < argc; ++i)
            counts.append(QByteArray(argv[i]).toInt());
    }

    for (int count : counts) {
        const size_t before = heapInUse();
        {
            ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
            fill(item, readings, count);
            std::printf("heap per recorded reading, %d readings: %.0f bytes (aim: 64)\n", count,
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
            std::printf("one more reading at %d readings: %.1f us\n", count, appendMicroseconds(item, readings, 1000));
            views.clear();
        }
        measureStalls(count, readings);
    }
    {
        ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
        Views shown;
        ItemViews &views = shown.views;
        views.show(item);
        std::printf("one more reading at 0 readings: %.1f us\n", appendMicroseconds(item, readings, 1000));
        views.clear();
    }
    return 0;
}
