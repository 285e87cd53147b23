#include "xlsconverter.h"

#include "workbook.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <memory>

namespace {

// Start-up of a fresh profile, then roughly a millisecond per row on a busy
// machine (a 65,000-row table converts in about ten seconds when idle).
constexpr int BaseTimeLimitMs = 60000;
// After a forced end, how long the killed programs get to go.
constexpr int KillGraceMs = 5000;

} // namespace

QString XlsConverter::findProgram(const QString &name)
{
    if (name.contains(QLatin1Char('/'))) {
        const QFileInfo file(name);
        return file.isFile() && file.isExecutable() ? file.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(name);
}

int XlsConverter::timeLimitFor(int rows)
{
    return BaseTimeLimitMs + rows;
}

XlsConverter::XlsConverter(QString program, int timeLimitMs) : program(std::move(program)), timeLimitMs(timeLimitMs)
{
}

bool XlsConverter::runInThread(const std::function<bool()> &job)
{
    bool result = false;
    QEventLoop loop;
    std::unique_ptr<QThread> thread(QThread::create([&] { result = job(); }));
    // Queued to this thread: delivered by the loop even when the job ends
    // before the loop starts.
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    thread->start();
    loop.exec();
    thread->wait();
    return result;
}

bool XlsConverter::save(const Workbook &book, const QString &path) const
{
    QTemporaryDir work(QDir(QDir::tempPath()).filePath(QStringLiteral("dmmpanel-export-XXXXXX")));
    if (!work.isValid())
        return false;
    const QString source = work.filePath(QStringLiteral("book.fods"));
    const bool written = runInThread([&] {
        QFile file(source);
        return file.open(QIODevice::WriteOnly) && writeFlatOds(book, &file) && file.flush();
    });
    if (!written || !convert(work.path(), source))
        return false;
    const QString converted = work.filePath(QStringLiteral("book.xls"));
    return runInThread([&] {
        QFile in(converted);
        if (!in.open(QIODevice::ReadOnly) || in.size() == 0)
            return false;
        // Written beside the target and renamed over it: a failed save
        // leaves whatever file was there before.
        QSaveFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(in.readAll()) == in.size() && out.commit();
    });
}

bool XlsConverter::convert(const QString &workDir, const QString &source) const
{
    QProcess process;
    // In a session of its own, so that a hung conversion can be ended with
    // every process it started.
    process.setProgram(QStandardPaths::findExecutable(QStringLiteral("setsid")));
    const QString profile = QUrl::fromLocalFile(QDir(workDir).filePath(QStringLiteral("profile"))).toString();
    process.setArguments({program, QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
                          QStringLiteral("--invisible"), QStringLiteral("--nologo"), QStringLiteral("--norestore"),
                          QStringLiteral("--nolockcheck"), QStringLiteral("--convert-to"),
                          QStringLiteral("xls:MS Excel 97"), QStringLiteral("--outdir"), workDir, source});
    // Its own temporary files go with the work folder too.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), workDir);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    process.start();
    if (process.state() == QProcess::NotRunning)
        return false;
    limit.start(timeLimitMs);
    loop.exec();

    if (process.state() != QProcess::NotRunning) {
        // Over time (or lost): end the whole session, never wait for it.
        if (process.processId() > 0)
            ::kill(-pid_t(process.processId()), SIGKILL);
        process.waitForFinished(KillGraceMs);
        return false;
    }
    return process.error() == QProcess::UnknownError && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}
