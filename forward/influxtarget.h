#pragma once

#include "forwardtarget.h"

#include <QNetworkAccessManager>
#include <QUrl>

class QNetworkReply;

// InfluxDB's write endpoint over HTTP or HTTPS (the system's CAs): 1.x
// `/write?db=...` or 2.x `/api/v2/write?org=...&bucket=...`. The token, if
// any, is taken from INFLUX_TOKEN.
class InfluxTarget : public ForwardTarget
{
    Q_OBJECT
public:
    // `url` as checked by urlError().
    explicit InfluxTarget(const QUrl &url, QObject *parent = nullptr);

    // Why `url` is no write endpoint; empty when it is one.
    static QString urlError(const QUrl &url);

    QString description() const override;
    void send(const QString &meter, const std::vector<FollowedReading> &readings) override;
    void close() override;

private:
    void onFinished(QNetworkReply *reply);

    QUrl m_url; // with millisecond precision asked for
    QByteArray m_token;
    QNetworkAccessManager m_network;
};
