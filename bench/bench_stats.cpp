// The statistics strip's cost per update, whole item and zoomed to its middle
// third, for items of 10^5, 10^6 and 1.3*10^7 readings (a month at five a
// second); the goal is at most 5 ms per update at the largest.
#include "dmmdata.h"
#include "itemdata.h"
#include "readingstore.h"
#include "statisticsstrip.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

// One reading changed in place and appended again: the store keeps its own copy.
void fill(ItemData &item, qint64 count)
{
    DmmData record;
    record.lines[0]->channel = record.channels[0];
    record.lines[1]->channel = record.channels[1];
    for (int i = 0; i < 2; ++i) {
        record.channels[i]->functions = QStringList{QStringLiteral("VOLT"), QStringLiteral("VOLT")};
        record.channels[i]->unitTexts = QStringList{QStringLiteral("mV"), QStringLiteral("V")};
    }
    const QDateTime start(QDate(2026, 11, 1), QTime(0, 0), Qt::UTC);
    auto readings = std::make_shared<ReadingStore>();
    for (qint64 n = 0; n < count; ++n) {
        record.time = start.addMSecs(n * 200);
        record.channels[0]->values[0] = 0.123 + double(n % 1000) * 1e-6;
        record.channels[0]->valueTexts[0] = QString::number(123.0 + double(n % 1000) * 1e-3, 'f', 2);
        record.channels[1]->values[1] = 1.2 + double(n % 700) * 1e-5;
        record.channels[0]->valueModes[0] = n % 997 == 0 ? DmmData::ValueOverload : DmmData::ValueNormal;
        readings->append(record);
    }
    item.setStore(std::move(readings));
}

double msPerUpdate(StatisticsStrip &strip, int rounds)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < rounds; ++i)
        strip.refresh();
    return double(clock.nsecsElapsed()) / 1e6 / rounds;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::printf("%12s %14s %14s %12s\n", "readings", "whole ms/upd", "zoomed ms/upd", "fill s");
    for (const qint64 count : {qint64(100'000), qint64(1'000'000), qint64(13'000'000)}) {
        ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
        QElapsedTimer filling;
        filling.start();
        fill(item, count);
        const double fillSeconds = double(filling.elapsed()) / 1e3;
        StatisticsStrip strip;
        strip.setItem(&item);
        const double whole = msPerUpdate(strip, 200);
        strip.setSpan(true, count / 3, 2 * count / 3);
        const double zoomed = msPerUpdate(strip, 200);
        std::printf("%12lld %14.3f %14.3f %12.1f\n", static_cast<long long>(count), whole, zoomed, fillSeconds);
        std::fflush(stdout);
    }
    return 0;
}
