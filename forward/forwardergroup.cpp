#include "forwardergroup.h"

#include "influxtarget.h"
#include "mqtttarget.h"

QString ForwardSettings::error() const
{
    if (!influx.isEmpty()) {
        if (const QString error = InfluxTarget::urlError(influx); !error.isEmpty())
            return QStringLiteral("InfluxDB URL %1: %2").arg(influx.toString(QUrl::RemoveUserInfo), error);
    }
    if (!mqtt.isEmpty()) {
        if (const QString error = MqttTarget::urlError(mqtt); !error.isEmpty())
            return QStringLiteral("MQTT URL %1: %2").arg(mqtt.toString(QUrl::RemoveUserInfo), error);
    }
    return QString();
}

ForwarderGroup::ForwarderGroup(const QString &journalPath, const ForwardSettings &settings, QObject *parent)
    : QObject(parent), m_journalPath(journalPath)
{
    std::vector<std::unique_ptr<ForwardTarget>> targets;
    if (!settings.influx.isEmpty())
        targets.push_back(std::make_unique<InfluxTarget>(settings.influx));
    if (!settings.mqtt.isEmpty())
        targets.push_back(std::make_unique<MqttTarget>(settings.mqtt, settings.mqttCaFile));
    for (std::unique_ptr<ForwardTarget> &target : targets) {
        auto forwarder = std::make_unique<Forwarder>(journalPath, std::move(target));
        Forwarder *raw = forwarder.get();
        connect(raw, &Forwarder::message, this, &ForwarderGroup::message);
        connect(raw, &Forwarder::finished, this, [this, raw](qint64 unsent) {
            if (unsent > 0) {
                // A removed file holds them no longer: --forward could not send them.
                const QString where =
                    raw->journalRemoved()
                        ? QStringLiteral("they went with %1, which was removed").arg(m_journalPath)
                        : QStringLiteral("they are kept in %1, which dmmlog --forward sends later").arg(m_journalPath);
                emit message(QStringLiteral("%1 readings were not sent to %2; %3").arg(unsent).arg(raw->description(), where));
            }
            m_unsent += unsent;
            if (--m_running == 0)
                emit finished(m_unsent);
        });
        m_forwarders.push_back(std::move(forwarder));
    }
}

void ForwarderGroup::start()
{
    for (const auto &forwarder : m_forwarders)
        forwarder->start();
}

void ForwarderGroup::finish(int timeoutMs)
{
    m_running = int(m_forwarders.size());
    if (m_running == 0) {
        emit finished(0);
        return;
    }
    for (const auto &forwarder : m_forwarders)
        forwarder->finish(timeoutMs);
}

void ForwarderGroup::sendAlarm(const QJsonObject &alarm)
{
    for (const auto &forwarder : m_forwarders)
        forwarder->sendAlarm(alarm);
}
