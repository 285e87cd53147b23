#pragma once

#include "terminationsignals.h"

class QWidget;

// Ends the program on SIGTERM, SIGINT or SIGHUP as its Close action does (a
// connected meter back to local, the settings saved), then leaves every
// event loop, a dialog's or a running export's included.
class WindowTermination
{
public:
    explicit WindowTermination(QWidget *window);

private:
    TerminationSignals notifier;
};
