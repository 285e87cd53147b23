// Ending the window while it holds a long item: a journal of 10^6 readings
// (or the count given) that a crash left open is restored at the start, a
// recording from the simulated meter goes on meanwhile, and the window gets
// SIGTERM (the same end as its Close action). Prints the resident memory
// before the end, the time from the signal until the process is gone, and
// whether every journal ends with its closing line.
//
//   bench_close [READINGS]
#include "benchsession.h"
#include "dlgrestore.h"
#include "journalformat.h"
#include "journalgenerator.h"
#include "widget.h"
#include "windowtermination.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include <signal.h>

namespace {

constexpr const char *Child = "--window";

QString journalFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("journal"));
}

// The window as the program runs it: restores what it is offered, connects,
// records, and says "ready" once its recording's journal has readings.
int runWindow(QApplication &app)
{
    const qint64 crashedSize = QFileInfo(QDir(journalFolder()).filePath(QStringLiteral("Generated.csv"))).size();
    const auto meter = bench::listMeter(0);
    Widget window(nullptr, QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
                               .filePath(QStringLiteral("options.xml")));
    window.show();
    const WindowTermination termination(&window);
    QTimer restoreAnswer;
    QObject::connect(&restoreAnswer, &QTimer::timeout, [] {
        if (auto *dialog = qobject_cast<DlgRestore *>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    restoreAnswer.start(50);
    window.offerRestore();
    window.findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    window.findChild<QAction *>(QStringLiteral("actionStart"))->trigger();
    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, [&] {
        const QFileInfoList journals = QDir(journalFolder()).entryInfoList({QStringLiteral("*.csv")}, QDir::Files);
        if (journals.size() == 2 && journals.first().size() + journals.last().size() > crashedSize + 4096) {
            std::printf("ready\n");
            std::fflush(stdout);
            ready.stop();
        }
    });
    ready.start(100);
    const int status = app.exec();
    visa::removeInProcessInstrument(meter.get());
    return status;
}

double residentMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

bool endsClosed(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(qMax<qint64>(0, file.size() - 256)))
        return false;
    QByteArray tail = file.readAll();
    tail.chop(1);
    return JournalFormat::isClosingLine(tail.mid(tail.lastIndexOf('\n') + 1));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dmmpanel"));
    if (app.arguments().value(1) == QLatin1String(Child))
        return runWindow(app);

    const qint64 readings = bench::argument(app.arguments(), 1, 1000000);
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    QDir().mkpath(journalFolder());
    const QString crashed = QDir(journalFolder()).filePath(QStringLiteral("Generated.csv"));
    if (!writeJournal(crashed, readings, false)) {
        std::fprintf(stderr, "bench_close: the journal could not be written\n");
        return 1;
    }

    QProcess window;
    window.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    window.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(Child)});
    window.waitForStarted();
    QElapsedTimer clock;
    clock.start();
    while (window.state() == QProcess::Running && !window.readAllStandardOutput().contains("ready")
           && clock.elapsed() < bench::GiveUpMs)
        window.waitForReadyRead(1000);
    if (window.state() != QProcess::Running) {
        std::fprintf(stderr, "bench_close: the window ended before it was ready\n");
        return 1;
    }
    std::printf("window holding a restored item of %lld readings, recording: resident %.0f MB, ready after %.1f s\n",
                static_cast<long long>(readings), residentMb(window.processId()), clock.nsecsElapsed() / 1e9);
    clock.restart();
    ::kill(pid_t(window.processId()), SIGTERM);
    const bool ended = window.waitForFinished(bench::GiveUpMs);
    const double ms = clock.nsecsElapsed() / 1e6;
    const QFileInfoList journals = QDir(journalFolder()).entryInfoList({QStringLiteral("*.csv")}, QDir::Files);
    int closed = 0;
    for (const QFileInfo &journal : journals)
        closed += endsClosed(journal.filePath()) ? 1 : 0;
    std::printf("SIGTERM to the process gone: %.0f ms (aim: 1000), exit status %d; %d of %lld journals closed\n", ms,
                ended ? window.exitCode() : -1, closed, static_cast<long long>(journals.size()));
    return ended && window.exitCode() == 0 && closed == journals.size() && journals.size() == 2 ? 0 : 1;
}
