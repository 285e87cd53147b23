#include "journalloading.h"

#include "readingstore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

LoadedJournal loadJournal(QWidget *window, const QString &path)
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

    LoadedJournal loaded;
    std::atomic<int> step{0};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        loaded.load = JournalReader::load(path, &loaded.store, [&](qint64 read, qint64 size) {
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
    return loaded;
}
