#include "exportjob.h"

#include "readingstore.h"
#include "recordreader.h"
#include "tablewriter.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Progress is told this many times over an export at most.
constexpr qint64 ProgressSteps = 200;
// The export thread's niceness (higher is lower priority).
constexpr int BackgroundNice = 5;

// A new empty file of a hidden name beside `target` (".name.XXXXXX"), made
// as any new file is: its mode passes to the export with the rename, and a
// QTemporaryFile's 0600 would keep others from reading it. Empty when none
// could be made.
QString newFileBeside(const QFileInfo &target)
{
    static const char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString name = QLatin1Char('.') + target.fileName() + QLatin1Char('.');
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(Letters[QRandomGenerator::global()->bounded(int(sizeof Letters) - 1)]);
        const QString candidate = target.absoluteDir().filePath(name);
        const int fd = ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST)
            break;
    }
    return QString();
}

} // namespace

ExportJob::ExportJob(std::shared_ptr<const ReadingStore> store, TableWriter &writer, QString path, QStringList titles)
    : store(std::move(store)), writer(writer), path(std::move(path)), titles(std::move(titles)),
      total(this->store->count())
{
    qRegisterMetaType<ExportJob::Result>();
}

ExportJob::~ExportJob()
{
    cancel();
    if (thread.joinable())
        thread.join();
}

qint64 ExportJob::rows() const
{
    return total;
}

void ExportJob::start()
{
    thread = std::thread([this] {
        // Below the window and the meter's link: on a busy machine the export
        // waits for them, not they for it (the converter inherits this).
        ::setpriority(PRIO_PROCESS, ::gettid(), BackgroundNice);
        const Result result = run();
        emit finished(result);
    });
}

void ExportJob::cancel()
{
    cancelled = true;
}

ExportJob::Result ExportJob::run()
{
    const QString temporaryPath = newFileBeside(QFileInfo(path));
    if (temporaryPath.isEmpty())
        return Failed;
    const Result result = writeRows(temporaryPath);
    // rename(2) replaces a file of the chosen name in one step.
    if (result == Written
        && std::rename(QFile::encodeName(temporaryPath).constData(), QFile::encodeName(path).constData()) == 0)
        return Written;
    QFile::remove(temporaryPath);
    return result == Written ? Failed : result;
}

ExportJob::Result ExportJob::writeRows(const QString &temporary)
{
    if (!writer.start(temporary, titles, total)) {
        writer.cancel();
        return Failed;
    }
    const qint64 step = qMax<qint64>(1, total / ProgressSteps);
    RecordReader readings(*store);
    for (qint64 i = 0; i < total; ++i) {
        if (cancelled) {
            writer.cancel();
            return Cancelled;
        }
        if (!writer.write(i + 1, readings.read(i))) {
            writer.cancel();
            return Failed;
        }
        if ((i + 1) % step == 0)
            emit progressed(i + 1);
    }
    const bool finished = writer.finish([this] { return bool(cancelled); });
    if (cancelled)
        return Cancelled;
    return finished ? Written : Failed;
}
