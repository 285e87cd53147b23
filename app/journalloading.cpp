#include "journalloading.h"

#include "readingstore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

// Runs `work` on a thread of its own, handing it a progress that the bar
// shows and that tells it to stop once Cancel was pressed.
void readInBackground(QWidget *window, const QString &path, const std::function<void(const JournalReader::Progress &)> &work)
{
    constexpr int Steps = 1000;
    QProgressDialog progress(
        QCoreApplication::translate("Widget", "Reading %1...").arg(QFileInfo(path).fileName()),
        QCoreApplication::translate("Widget", "Cancel"), 0, Steps, window);
    progress.setWindowTitle(QString());
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);

    std::atomic<int> step{0};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        work([&](qint64 read, qint64 size) {
            step = size > 0 ? int(read * Steps / size) : 0;
            return !cancelled;
        });
        done = true;
        QMetaObject::invokeMethod(&progress, [] {}, Qt::QueuedConnection); // wakes the loop below
    });
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &progress, [&] { progress.setValue(qMin(step.load(), Steps - 1)); });
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&] { cancelled = true; });
    ticks.start(100);
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    reader.join();
}

} // namespace

LoadedJournal loadJournal(QWidget *window, const QString &path, const std::function<void()> &whenRead)
{
    LoadedJournal loaded;
    readInBackground(window, path, [&](const JournalReader::Progress &progress) {
        loaded.load = JournalReader::load(path, &loaded.store, progress, whenRead);
    });
    return loaded;
}

JournalSummary summarizeJournal(QWidget *window, const QString &path)
{
    JournalSummary summary;
    readInBackground(window, path,
                     [&](const JournalReader::Progress &progress) { summary = JournalReader::summarize(path, progress); });
    return summary;
}
