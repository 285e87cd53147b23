#include "simulatedmeter.h"
#include "widget.h"
#include "windowtermination.h"

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
    // Recordings a crash cut short are offered back once the window is up,
    // then the journals named on the command line open as items.
    QTimer::singleShot(0, &window, &Widget::offerRestore);
    for (const QString &path : app.arguments().mid(1))
        QTimer::singleShot(0, &window, [&window, path] { window.openJournal(path); });
    const WindowTermination termination(&window);
    return app.exec();
}
