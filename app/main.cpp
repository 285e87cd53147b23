#include "simulatedmeter.h"
#include "terminationsignals.h"
#include "widget.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    dmmsim::listFromEnvironment();
    // Names the per-user configuration directory used for options.xml when
    // the program's own directory is not writable.
    QCoreApplication::setApplicationName(QStringLiteral("dmmpanel"));
    Widget window;
    window.show();
    // Recordings a crash cut short are offered back once the window is up.
    QTimer::singleShot(0, &window, &Widget::offerRestore);
    // Asked to end (the session ends, Ctrl+C): close as the Close action does,
    // so that the meter goes back to local and the settings are saved; then
    // leave every event loop, a dialog's included.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &window, [&window] {
        window.close();
        QCoreApplication::quit();
    });
    return app.exec();
}
