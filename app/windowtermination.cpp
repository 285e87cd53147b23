#include "windowtermination.h"

#include <QCoreApplication>
#include <QWidget>

WindowTermination::WindowTermination(QWidget *window)
{
    QObject::connect(&notifier, &TerminationSignals::received, window, [window] {
        window->close();
        QCoreApplication::quit();
    });
}
