#include "simulatedmeter.h"
#include "widget.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    dmmsim::listFromEnvironment();
    // Names the per-user configuration directory used for options.xml when
    // the program's own directory is not writable.
    QCoreApplication::setApplicationName(QStringLiteral("dmmpanel"));
    Widget window;
    window.show();
    return app.exec();
}
