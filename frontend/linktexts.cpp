#include "linktexts.h"

QString LinkTexts::state(const QString &resource, bool inProcess)
{
    if (resource.isEmpty())
        return tr("Not connected");
    return inProcess ? tr("Connected to %1 (simulated)").arg(resource) : tr("Connected to %1").arg(resource);
}

QString LinkTexts::openFailure(const Tessaly::OpenFailure &failure, const QString &model)
{
    switch (failure.reason) {
    case Tessaly::OpenFailure::None:
        break;
    case Tessaly::OpenFailure::NoMatchingInstrument: {
        const QString check = tr("Check that the meter is switched on and its USB cable is plugged in.");
        if (failure.instrumentsSeen == 0)
            return tr("No USB instrument found. %1").arg(check);
        if (failure.instrumentsSeen == 1)
            return tr("The one USB instrument found is not a %1 meter. %2").arg(model, check);
        return tr("None of the %1 USB instruments found is a %2 meter. %3")
            .arg(failure.instrumentsSeen)
            .arg(model, check);
    }
    case Tessaly::OpenFailure::CannotOpen:
        return tr("The meter %1 was found but could not be opened (%2). Without root rights it needs the udev "
                  "rule that the README and the manual describe: install it, then unplug and replug the meter.")
            .arg(failure.resource, failure.statusText);
    case Tessaly::OpenFailure::VisaError:
        return tr("The VISA library failed: %1").arg(failure.statusText);
    }
    return QString();
}

QString LinkTexts::linkLost(const QDateTime &at)
{
    return tr("The link to the meter was lost at %1; reconnecting.").arg(at.toString(Qt::ISODate));
}

QString LinkTexts::linkRestored(const QDateTime &lostAt, const QDateTime &backAt, bool recording)
{
    const qint64 seconds = qMax<qint64>(0, lostAt.secsTo(backAt));
    const QString gap = QStringLiteral("%1:%2:%3")
                            .arg(seconds / 3600)
                            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    const QString back = tr("The link to the meter is back at %1 after a gap of %2.")
                             .arg(backAt.toString(Qt::ISODate), gap);
    return recording ? back + QLatin1Char(' ') + tr("Recording resumed.") : back;
}

QString LinkTexts::linkDropped(bool unplugged)
{
    return unplugged ? tr("lost the link: the meter was unplugged") : tr("lost the link: the meter stopped answering");
}
