#pragma once

#include "forwarder.h"

#include <QJsonObject>
#include <QObject>
#include <QUrl>

#include <memory>
#include <vector>

// Where readings are sent; an empty URL sends nowhere.
struct ForwardSettings
{
    QUrl influx;       // InfluxDB's write endpoint
    QUrl mqtt;         // mqtt[s]://[user[:password]@]host[:port][/prefix]
    QString mqttCaFile; // empty: the system's CAs

    bool isEmpty() const { return influx.isEmpty() && mqtt.isEmpty(); }
    // What is wrong with the URLs, in one line; empty when nothing is.
    QString error() const;
};

// One journal sent to every server the settings name, each at its own pace.
class ForwarderGroup : public QObject
{
    Q_OBJECT
public:
    ForwarderGroup(const QString &journalPath, const ForwardSettings &settings, QObject *parent = nullptr);

    void start();
    // Sends what the journal holds and ends; each server may go
    // `timeoutMs` without taking a reading before it is given up.
    void finish(int timeoutMs);
    void sendAlarm(const QJsonObject &alarm);

signals:
    void message(const QString &text);
    // Readings not sent, summed over the servers; each server that kept
    // some is named in a message first.
    void finished(qint64 unsent);

private:
    QString m_journalPath;
    std::vector<std::unique_ptr<Forwarder>> m_forwarders;
    int m_running = 0;
    qint64 m_unsent = 0;
};
