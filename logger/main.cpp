#include "console.h"
#include "logoptions.h"
#include "logsession.h"
#include "simulatedmeter.h"
#include "terminationsignals.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dmmlog"));
    Console console;
    QString error;
    const LogOptions options = LogOptions::parse(app.arguments().mid(1), &error);
    if (!error.isEmpty()) {
        console.message(error + QStringLiteral(" (see dmmlog --help)"));
        return BadArguments;
    }
    if (options.help) {
        std::fputs(LogOptions::usage(), stdout);
        return CleanEnd;
    }
    dmmsim::listFromEnvironment();
    if (options.list)
        return listInstruments(console);
    console.setReadingsOnStandardOutput(options.outputPath.isEmpty());

    // A reader that goes away (`dmmlog | head`) is a write error to report,
    // not a signal that ends the program with the meter still in remote.
    std::signal(SIGPIPE, SIG_IGN);
    LogSession session(options, console);
    QObject::connect(&session, &LogSession::finished, &app, &QCoreApplication::exit);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &session, [&session] {
        // The first Ctrl+C ends cleanly; a second one ends at once.
        std::signal(SIGINT, SIG_DFL);
        session.stop();
    });
    session.start();
    return app.exec();
}
