#include "desktopnotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

void DesktopNotifier::notify(const QString &summary, const QString &body) const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app name, id to replace (none), icon, summary, body, actions, hints, timeout (server's default)
    call << QCoreApplication::applicationName() << 0u << QStringLiteral("dialog-warning") << summary << body
         << QStringList() << QVariantMap() << -1;
    // Not awaited: the window never blocks on a slow or missing service.
    bus.send(call);
}
