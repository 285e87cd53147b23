#pragma once

#include "tessaly.h"

#include <QCoreApplication>
#include <QDateTime>
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
    // The message list's lines when the link is lost and when it is back.
    static QString linkLost(const QDateTime &at);
    static QString linkRestored(const QDateTime &lostAt, const QDateTime &backAt, bool recording);
    // A loss no reconnect takes on: the meter silent, or gone from the bus.
    static QString linkDropped(bool unplugged);
};
