// The recording journal's cost on the GUI thread: a reading kept through the
// window's recording path with the journal off and on, the journal's own part
// (format and write) alone, and the bytes the journal takes per reading.
#include "benchitems.h"
#include "itemdata.h"
#include "metersession.h"
#include "recorder.h"
#include "recordingjournal.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Count = 20000;
constexpr int Batch = 1000;

// Median over batches of the time per reading, in microseconds.
template <typename Keep>
double medianMicroseconds(std::vector<DmmData *> &records, Keep keep)
{
    std::vector<double> batches;
    for (size_t first = 0; first < records.size(); first += Batch) {
        QElapsedTimer clock;
        clock.start();
        for (size_t i = first; i < first + Batch; ++i)
            keep(records[i]);
        batches.push_back(clock.nsecsElapsed() / 1e3 / Batch);
    }
    std::nth_element(batches.begin(), batches.begin() + batches.size() / 2, batches.end());
    return batches[batches.size() / 2];
}

std::vector<DmmData *> make(Readings &readings)
{
    std::vector<DmmData *> records;
    for (int n = 0; n < Count; ++n)
        records.push_back(readings.next(n));
    return records;
}

qint64 journalBytes()
{
    qint64 bytes = 0;
    for (const QFileInfo &file : QDir(RecordingJournal::folder()).entryInfoList(QDir::Files))
        bytes += file.size();
    return bytes;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    Readings readings;
    Views shown;
    MeterSession session(QStringLiteral("bench_journal"));
    Recorder recorder(session);

    for (const bool on : {false, true}) {
        session.setJournalOpener(on ? MeterSession::JournalOpener(&RecordingJournal::open) : nullptr);
        ItemData item(QStringLiteral("Measure1"), ItemData::MeasureData);
        session.startRecording(&item, item.name());
        std::vector<DmmData *> records = make(readings);
        const double us = medianMicroseconds(records, [&](DmmData *record) {
            if (!recorder.offer(record, &item))
                delete record;
        });
        session.stopRecording();
        shown.views.clear();
        std::printf("a kept reading through the recording path, journal %s: %.2f us\n", on ? "on " : "off", us);
    }

    const qint64 before = journalBytes();
    {
        ItemData item(QStringLiteral("Measure2"), ItemData::MeasureData);
        session.startRecording(&item, item.name());
        std::vector<DmmData *> records = make(readings);
        const double us = medianMicroseconds(records, [&](DmmData *record) { session.keep(*record); });
        session.stopRecording();
        qDeleteAll(records);
        std::printf("the journal's part alone (format and write): %.2f us per reading (aim: 20)\n", us);
    }
    std::printf("journal bytes per reading: %.0f B (aim: 200)\n", double(journalBytes() - before) / Count);
    return 0;
}
