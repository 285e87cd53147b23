#pragma once

#include <QString>

// Desktop notifications through the session bus's notification service
// (org.freedesktop.Notifications). Without a session bus, or with no such
// service on it, nothing happens and nothing fails; the call never waits.
class DesktopNotifier
{
public:
    void notify(const QString &summary, const QString &body) const;
};
