#include "xlsconverter.h"

#include "workbook.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// Start-up of a fresh profile, then roughly a millisecond per row on a busy
// machine (a 65,000-row table converts in about ten seconds when idle).
constexpr int BaseTimeLimitMs = 60000;
// After a forced end, how long the killed programs get to go.
constexpr int KillGraceMs = 5000;
// How often a running conversion looks whether the user cancelled it.
constexpr int CancelCheckMs = 50;
constexpr qint64 CopyPieceBytes = 1 << 20;

// A work folder is named after the process that made it, so that the
// folders of a killed run can be told from a running one's.
const QString WorkFolderPrefix = QStringLiteral("dmmpanel-export-");

// The converter's process. It starts a session of its own, so that a hung
// conversion can be ended with every process it started, and gets SIGTERM
// when the program goes, even when the program is killed: the shell it runs
// then kills its whole session. (The kernel signals only the direct child.)
class ConverterProcess : public QProcess
{
public:
    ConverterProcess() : programPid(::getpid()) {}

protected:
    void setupChildProcess() override
    {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != programPid) // gone before the line above
            ::_exit(1);
    }

private:
    const pid_t programPid;
};

// Runs the program given after it and ends the whole session on SIGTERM.
const QString SessionShell = QStringLiteral("trap 'kill -KILL 0' TERM HUP; \"$@\" & wait $!");

bool isRunning(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

} // namespace

void XlsConverter::removeStaleWorkFolders()
{
    QDir temp(QDir::tempPath());
    const QFileInfoList folders =
        temp.entryInfoList({WorkFolderPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &folder : folders) {
        // Only our own real folders, of a process that no longer runs.
        const QStringList parts = folder.fileName().mid(WorkFolderPrefix.size()).split(QLatin1Char('-'));
        bool numeric = false;
        const pid_t pid = parts.size() == 2 ? pid_t(parts.first().toInt(&numeric)) : 0;
        if (!numeric || folder.isSymLink() || folder.ownerId() != ::getuid() || isRunning(pid))
            continue;
        QDir(folder.absoluteFilePath()).removeRecursively();
    }
}

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

XlsConverter::XlsConverter(QString program, int timeLimitMs, std::function<bool()> cancelled)
    : program(std::move(program)), timeLimitMs(timeLimitMs), cancelled(std::move(cancelled))
{
}

bool XlsConverter::save(const Workbook &book, const QString &path) const
{
    QTemporaryDir work(
        QDir(QDir::tempPath()).filePath(WorkFolderPrefix + QString::number(::getpid()) + QStringLiteral("-XXXXXX")));
    if (!work.isValid())
        return false;
    const QString source = work.filePath(QStringLiteral("book.fods"));
    QFile file(source);
    if (!file.open(QIODevice::WriteOnly) || !writeFlatOds(book, &file) || !file.flush())
        return false;
    file.close();
    if (!convert(work.path(), source))
        return false;
    QFile in(work.filePath(QStringLiteral("book.xls")));
    QFile out(path);
    if (!in.open(QIODevice::ReadOnly) || in.size() == 0 || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // In pieces: a large workbook's file is hundreds of megabytes.
    while (!in.atEnd()) {
        const QByteArray piece = in.read(CopyPieceBytes);
        if (piece.isEmpty() || out.write(piece) != piece.size())
            return false;
    }
    return out.flush();
}

bool XlsConverter::convert(const QString &workDir, const QString &source) const
{
    ConverterProcess process;
    process.setProgram(QStringLiteral("/bin/sh"));
    const QString profile = QUrl::fromLocalFile(QDir(workDir).filePath(QStringLiteral("profile"))).toString();
    process.setArguments({QStringLiteral("-c"), SessionShell, QStringLiteral("sh"), program,
                          QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
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
    QTimer cancelCheck;
    if (cancelled) {
        QObject::connect(&cancelCheck, &QTimer::timeout, &loop, [&] {
            if (cancelled())
                loop.quit();
        });
        cancelCheck.start(CancelCheckMs);
    }
    process.start();
    if (process.state() == QProcess::NotRunning)
        return false;
    limit.start(timeLimitMs);
    loop.exec();

    if (process.state() != QProcess::NotRunning) {
        // Over time, cancelled or the program ending: end the whole
        // session, never wait for it.
        if (process.processId() > 0)
            ::kill(-pid_t(process.processId()), SIGKILL);
        process.waitForFinished(KillGraceMs);
        return false;
    }
    return process.error() == QProcess::UnknownError && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}
