#include "console.h"
#include "forwardergroup.h"
#include "journalformat.h"
#include "lineprotocol.h"
#include "logoptions.h"
#include "logsession.h"
#include "simulatedmeter.h"
#include "terminationsignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>

namespace {

// Readings to be sent are journaled first; without -o, to a new file here.
QString automaticJournalPath(const QString &resource)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return JournalFormat::newJournalPath(folder, resource.isEmpty() ? QStringLiteral("meter") : meterName(resource),
                                         QDateTime::currentDateTime());
}

// Why `path` is no journal to send; empty when it is one. A log of another
// format would otherwise send nothing and end as if all had gone.
QString notAJournal(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return QStringLiteral("%1: no such file").arg(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    QByteArray line;
    do
        line = file.readLine(64 * 1024);
    while (line.startsWith('#'));
    if (line.endsWith('\n'))
        line.chop(1);
    if (!JournalFormat::isHeaderRow(line))
        return QStringLiteral("%1 is no journal (its header row is missing); nothing was sent").arg(path);
    return QString();
}

// dmmlog --forward: an earlier journal to the servers, then the end.
int forwardJournal(const LogOptions &options, Console &console)
{
    if (const QString error = notAJournal(options.forwardPath); !error.isEmpty()) {
        console.message(error);
        return BadArguments;
    }
    ForwarderGroup forwarding(options.forwardPath, options.forward);
    QObject::connect(&forwarding, &ForwarderGroup::message, [&console](const QString &text) { console.message(text); });
    QObject::connect(&forwarding, &ForwarderGroup::finished, [](qint64 unsent) {
        QCoreApplication::exit(unsent > 0 ? LinkLost : CleanEnd);
    });
    forwarding.start();
    forwarding.finish(options.flushTimeoutMs);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dmmlog"));
    Console console;
    QString error;
    LogOptions options = LogOptions::parse(app.arguments().mid(1), &error);
    if (!error.isEmpty()) {
        console.message(error + QStringLiteral(" (see dmmlog --help)"));
        return BadArguments;
    }
    if (options.help) {
        std::fputs(LogOptions::usage(), stdout);
        return CleanEnd;
    }
    if (!options.forwardPath.isEmpty())
        return forwardJournal(options, console);
    dmmsim::listFromEnvironment();
    if (options.list)
        return listInstruments(console);
    if (!options.forward.isEmpty() && options.outputPath.isEmpty()) {
        options.outputPath = automaticJournalPath(options.resource);
        console.message(QStringLiteral("journal: %1").arg(options.outputPath));
    }
    console.setReadingsOnStandardOutput(options.outputPath.isEmpty());

    // A reader that goes away (`dmmlog | head`) is a write error to report,
    // not a signal that ends the program with the meter still in remote.
    std::signal(SIGPIPE, SIG_IGN);
    LogSession session(options, console);
    QObject::connect(&session, &LogSession::finished, &app, &QCoreApplication::exit);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &session, [&session] {
        // The first Ctrl+C ends cleanly; a second one ends at once, so only
        // once stop() has removed an output that holds nothing yet.
        session.stop();
        std::signal(SIGINT, SIG_DFL);
    });
    session.start();
    return app.exec();
}
