#pragma once

#include "forwardtarget.h"

#include <QTimer>
#include <QUrl>

#include <memory>
#include <set>

struct mosquitto;

// An MQTT broker through libmosquitto: each reading at QoS 1 to
// `<prefix>/<meter>/reading` as the JSON object of ReadingJson, and
// `<prefix>/<meter>/status` kept by the broker (retained): "online" while
// connected, "offline" at the end or, by the last will, when the program dies.
// `mqtts://` uses TLS with the system's CAs or a CA file of its own.
class MqttTarget : public ForwardTarget
{
    Q_OBJECT
public:
    // `url`: mqtt[s]://[user[:password]@]host[:port][/prefix], as checked by
    // urlError(). `caFile` empty: the system's CAs.
    MqttTarget(const QUrl &url, const QString &caFile, QObject *parent = nullptr);
    ~MqttTarget() override;

    static QString urlError(const QUrl &url);

    QString description() const override;
    void send(const QString &meter, const std::vector<FollowedReading> &readings) override;
    void sendAlarm(const QString &meter, const QByteArray &json) override;
    void close() override;

    // The link's events, from libmosquitto's thread, for this thread.
    struct Link;

private:
    void connectTo(const QString &meter);
    void onConnected(int generation, int result);
    void onDisconnected(int generation, int result);
    void onPublished(int generation, int mid);
    void publishBatch();
    // -1 on failure, which is reported.
    int publish(const QString &subtopic, const QByteArray &payload, bool retain);
    void fail(const QString &reason);
    void tearDown();
    QString topic(const QString &subtopic) const;

    QUrl m_url;
    QString m_caFile;
    QString m_prefix;
    QString m_meter;
    std::unique_ptr<Link> m_link;
    int m_generation = 0;
    bool m_connected = false;
    std::vector<QByteArray> m_batch; // payloads waiting for the link
    std::set<int> m_unacknowledged;  // of the batch
    std::vector<QByteArray> m_alarms; // raised while the link was being made
    bool m_batchOpen = false;
    int m_offlineMid = -1; // the goodbye, while closing
    bool m_closing = false;
    QTimer m_giveUp; // a connect or a goodbye that takes too long
};
