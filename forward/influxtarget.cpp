#include "influxtarget.h"

#include "lineprotocol.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

namespace {

constexpr int RequestTimeoutMs = 10000;

// Answers that say the server is not there or not ready yet, as against
// readings it will never take.
bool isPassing(int status)
{
    return status == 401 || status == 403 || status == 404 || status == 408 || status == 429 || status >= 500;
}

} // namespace

InfluxTarget::InfluxTarget(const QUrl &url, QObject *parent)
    : ForwardTarget(parent), m_url(url), m_token(qgetenv("INFLUX_TOKEN"))
{
    QUrlQuery query(m_url);
    query.removeAllQueryItems(QStringLiteral("precision"));
    query.addQueryItem(QStringLiteral("precision"), QStringLiteral("ms"));
    m_url.setQuery(query);
    connect(&m_network, &QNetworkAccessManager::finished, this, &InfluxTarget::onFinished);
}

QString InfluxTarget::urlError(const QUrl &url)
{
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        || url.host().isEmpty())
        return QStringLiteral("an http:// or https:// URL expected");
    const QUrlQuery query(url);
    if (url.path().endsWith(QLatin1String("/api/v2/write"))) {
        if (!query.hasQueryItem(QStringLiteral("bucket")) || !query.hasQueryItem(QStringLiteral("org")))
            return QStringLiteral("/api/v2/write needs org= and bucket=");
    } else if (url.path().endsWith(QLatin1String("/write"))) {
        if (!query.hasQueryItem(QStringLiteral("db")))
            return QStringLiteral("/write needs db=");
    } else {
        return QStringLiteral("the write endpoint expected: .../write?db=NAME or .../api/v2/write?org=ORG&bucket=NAME");
    }
    return QString();
}

QString InfluxTarget::description() const
{
    return QStringLiteral("InfluxDB at %1").arg(m_url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery));
}

void InfluxTarget::send(const QString &meter, const std::vector<FollowedReading> &readings)
{
    QByteArray body;
    body.reserve(int(readings.size()) * 300);
    for (const FollowedReading &reading : readings)
        body += LineProtocol::point(meter, reading.seq, *reading.record);
    if (body.isEmpty()) { // readings without a time make no point
        QTimer::singleShot(0, this, &ForwardTarget::sent);
        return;
    }
    QNetworkRequest request(m_url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain; charset=utf-8"));
    if (!m_token.isEmpty())
        request.setRawHeader("Authorization", "Token " + m_token);
    request.setTransferTimeout(RequestTimeoutMs);
    m_network.post(request, body);
}

void InfluxTarget::onFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        emit sent();
        return;
    }
    if (status == 0) { // no answer at all
        emit failed(reply->errorString(), true);
        return;
    }
    const QByteArray answer = reply->readAll().simplified().left(300);
    emit failed(QStringLiteral("HTTP %1 %2").arg(status).arg(QString::fromUtf8(answer)), isPassing(status));
}

void InfluxTarget::close()
{
    QTimer::singleShot(0, this, &ForwardTarget::closed);
}
