// Data table at scale: for 10^3 to 1.3 x 10^7 rows, the time to show an
// item's readings (model reset, scroll to the bottom, first paint) and of a
// jump to any row (scroll there and repaint), median and longest of 40.
//
// bench_table [rows...]   (defaults 1000 100000 1000000 13000000)
#include "datamodel.h"
#include "dmmdata.h"
#include "readingstore.h"
#include "tdmsummarytablewgt.h"
#include "testrecords.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Readings a quarter second apart with changing values, as a long recording gives them.
std::shared_ptr<ReadingStore> readings(qint64 count)
{
    auto store = std::make_shared<ReadingStore>();
    auto record = baseline();
    const QDateTime start = record->time;
    for (qint64 i = 0; i < count; ++i) {
        record->time = start.addMSecs(i * 250);
        record->channels[0]->values[0] = 0.012 + 1e-6 * double(i % 1000);
        record->channels[0]->valueTexts[0] = QString::number(12.0 + 1e-3 * double(i % 1000), 'f', 3);
        store->append(*record);
    }
    return store;
}

void tableAtScale(qint64 count)
{
    const auto store = readings(count);
    TDMSummaryTableWgt table;
    DataModel model(dataColumns());
    table.setModel(&model);
    table.setColumnWidths(TDMSummaryTableWgt::ColumnWidths);
    table.resize(1200, 700);
    table.show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    model.show(store);
    table.scrollToBottom();
    table.viewport()->repaint();
    const double showMs = clock.nsecsElapsed() / 1e6;

    std::vector<double> jumps;
    quint32 seed = 1;
    for (int i = 0; i < 40; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int row = int(seed % quint32(count));
        clock.restart();
        table.scrollTo(model.index(row, 0), QAbstractItemView::PositionAtCenter);
        table.viewport()->repaint();
        jumps.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(jumps.begin(), jumps.end());
    std::printf("%9lld  %10.2f  %11.2f  %12.2f\n", static_cast<long long>(count), showMs, jumps[jumps.size() / 2],
                jumps.back());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QList<qint64> sizes;
    for (const QString &argument : app.arguments().mid(1))
        sizes << argument.toLongLong();
    if (sizes.isEmpty())
        sizes = {1000, 100000, 1000000, 13000000};
    std::printf("table 1200x700; times in ms\n%9s  %10s  %11s  %12s\n", "rows", "show", "jump median",
                "jump longest");
    for (qint64 count : sizes)
        tableAtScale(count);
    return 0;
}
