// Opening long journals: a week (3 x 10^6 readings) and a month (1.3 x 10^7)
// written by the generator, read into an item's store the first time (cold:
// the whole CSV parsed) and again (warm), with the time, the rate, and the
// process's resident memory after each open and at its peak.
#include "journalgenerator.h"
#include "journalreader.h"
#include "readingstore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

double statusMb(const char *field)
{
    return statusKb(field) / 1024;
}

double cpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

void open(const char *what, const QString &path, qint64 readings)
{
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    std::shared_ptr<ReadingStore> store;
    const JournalLoad load = JournalReader::load(path, &store);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("%s: %lld readings in %.2f s (%.2f s of CPU), %.2f x 10^6 readings per CPU second, resident %.0f MB"
                " (aim: 200 warm)%s\n",
                what, static_cast<long long>(readings), seconds, cpu, readings / cpu / 1e6, statusMb("VmRSS:"),
                store && store->count() == readings && load.error.isEmpty() ? "" : " MISMATCH");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir folder;
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as it comes
    for (const auto &[label, readings] : {std::pair<const char *, qint64>{"week", 3000000}, {"month", 13000000}}) {
        const QString path = folder.filePath(QString::fromLatin1(label) + QStringLiteral(".csv"));
        QElapsedTimer clock;
        clock.start();
        if (!writeJournal(path, readings)) {
            std::printf("%s: the journal could not be written\n", label);
            return 1;
        }
        std::printf("%s journal: %lld readings, %.0f MB, generated in %.1f s\n", label,
                    static_cast<long long>(readings), QFileInfo(path).size() / 1e6, clock.nsecsElapsed() / 1e9);
        open((std::string(label) + " cold").c_str(), path, readings);
        open((std::string(label) + " warm").c_str(), path, readings);
        QFile::remove(path);
    }
    std::printf("peak resident: %.0f MB\n", statusMb("VmHWM:"));
    return 0;
}
