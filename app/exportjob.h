#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>

class ReadingStore;
class TableWriter;

// Writes the readings an item's store holds now through a writer, in a
// thread of its own. The file is written under a hidden temporary name in
// the target folder and renamed to the target only once it is complete:
// Cancel, a failure or a crash never leave a partial file under the chosen
// name.
class ExportJob : public QObject
{
    Q_OBJECT
public:
    enum Result { Written, Failed, Cancelled };
    Q_ENUM(Result)

    ExportJob(std::shared_ptr<const ReadingStore> store, TableWriter &writer, QString path, QStringList titles);
    // Cancels a job still running and waits for its thread.
    ~ExportJob() override;

    qint64 rows() const;
    void start();
    // From any thread; the job ends soon after.
    void cancel();

signals:
    // Queued from the job's thread, a few hundred times per export at most.
    void progressed(qint64 done);
    void finished(ExportJob::Result result);

private:
    Result run();
    Result writeRows(const QString &temporary);

    const std::shared_ptr<const ReadingStore> store;
    TableWriter &writer;
    const QString path;
    const QStringList titles;
    const qint64 total;
    std::atomic<bool> cancelled{false};
    std::thread thread;
};
