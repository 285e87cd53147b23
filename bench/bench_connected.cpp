// Memory of the real window connected to the simulated meter, offscreen, for
// a bounded time: resident size and heap in use at the start and end of a
// run without recording and of one while recording. Without recording both
// must stay flat; recording, the heap grows by what the item keeps.
//
//   bench_connected [SECONDS [RECORDING_SECONDS]]
//   seconds of the run without recording (60 unless given) and of the one
//   while recording (as long unless given)
#include "benchsession.h"
#include "widget.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {

constexpr int WarmUpMs = 10000;

struct Memory
{
    double rssKiB;
    double heapKiB;
};

Memory memoryNow()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    long pages = 0;
    if (statm.open(QIODevice::ReadOnly))
        pages = statm.readAll().split(' ').value(1).toLong();
    return {pages * double(sysconf(_SC_PAGESIZE)) / 1024, mallinfo2().uordblks / 1024.0};
}

void runFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

QAction *action(Widget &window, const char *name)
{
    return window.findChild<QAction *>(QString::fromLatin1(name));
}

// Runs `seconds` after a warm-up and prints the memory at both ends.
void measure(const char *what, Widget &window, int seconds)
{
    const QAbstractItemModel *table = window.findChild<QTableView *>(QStringLiteral("tv"))->model();
    runFor(WarmUpMs);
    const Memory start = memoryNow();
    const int rowsAtStart = table->rowCount();
    runFor(seconds * 1000);
    const Memory end = memoryNow();
    const int rows = table->rowCount() - rowsAtStart;
    std::printf("%s, %d s: RSS %.0f -> %.0f KiB (%+.0f), heap %.0f -> %.0f KiB (%+.0f)", what, seconds, start.rssKiB,
                end.rssKiB, end.rssKiB - start.rssKiB, start.heapKiB, end.heapKiB, end.heapKiB - start.heapKiB);
    if (rows > 0)
        std::printf(", %d readings kept, heap %.0f B and RSS %.0f B per reading", rows,
                    (end.heapKiB - start.heapKiB) * 1024 / rows, (end.rssKiB - start.rssKiB) * 1024 / rows);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int seconds = bench::argument(app.arguments(), 1, 60);
    const int recordingSeconds = bench::argument(app.arguments(), 2, seconds);
    QTemporaryDir dir;
    // Recordings write their journals here, not into the user's data folder.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    const auto meter = bench::listMeter(0);
    {
        Widget window(nullptr, dir.filePath(QStringLiteral("options.xml")));
        window.show();
        action(window, "actionConnect")->trigger();
        if (!action(window, "actionDisconnect")->isEnabled()) {
            std::fprintf(stderr, "bench_connected: the window did not connect\n");
            return 1;
        }
        measure("connected, not recording", window, seconds);
        action(window, "actionStart")->trigger();
        measure("connected, recording", window, recordingSeconds);
        window.close();
    }
    visa::removeInProcessInstrument(meter.get());
    return 0;
}
