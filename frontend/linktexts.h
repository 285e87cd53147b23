#pragma once

#include "tessaly.h"

#include <QCoreApplication>
#include <QString>

// What the window says about the link to the meter: the status bar's line
// and, after a failed connect, why it failed and what to do.
class LinkTexts
{
    Q_DECLARE_TR_FUNCTIONS(Widget)
public:
    // `resource` empty: not connected. An in-process instrument is the
    // simulated meter, the only one the program lists.
    static QString state(const QString &resource, bool inProcess);
    // `model` names the meters looked for.
    static QString openFailure(const Tessaly::OpenFailure &failure, const QString &model);
};
