#include "mqtttarget.h"

#include "readingjson.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace {

constexpr int KeepAliveSeconds = 30;
constexpr int ConnectTimeoutMs = 10000;
constexpr int GoodbyeTimeoutMs = 3000;
constexpr int Qos = 1;
const QString DefaultPrefix = QStringLiteral("dmmpanel");

QByteArray online()
{
    return QByteArrayLiteral("online");
}

QByteArray offline()
{
    return QByteArrayLiteral("offline");
}

} // namespace

struct MqttTarget::Link
{
    QPointer<MqttTarget> target;
    int generation;
    mosquitto *client = nullptr;
    bool looping = false;

    // Each event is handed to the target's thread, which ignores it if it
    // comes from a link already torn down.
    template<typename Call>
    static void post(void *data, Call call)
    {
        const Link *link = static_cast<const Link *>(data);
        QMetaObject::invokeMethod(link->target, [target = link->target, generation = link->generation, call] {
            if (target)
                call(target.data(), generation);
        }, Qt::QueuedConnection);
    }
};

MqttTarget::MqttTarget(const QUrl &url, const QString &caFile, QObject *parent)
    : ForwardTarget(parent), m_url(url), m_caFile(caFile)
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    m_prefix = m_url.path().section(QLatin1Char('/'), 1).chopped(m_url.path().endsWith(QLatin1Char('/')) ? 1 : 0);
    if (m_prefix.isEmpty())
        m_prefix = DefaultPrefix;
    m_giveUp.setSingleShot(true);
    connect(&m_giveUp, &QTimer::timeout, this, [this] {
        if (m_closing) {
            tearDown();
            emit closed();
        } else {
            fail(QStringLiteral("no answer from the broker"));
        }
    });
}

MqttTarget::~MqttTarget()
{
    // A clean disconnect drops the last will: the goodbye goes out first
    // (libmosquitto sends its packets in order) when nobody waited for it.
    if (m_connected && m_offlineMid < 0)
        publish(QStringLiteral("status"), offline(), true);
    tearDown();
}

QString MqttTarget::urlError(const QUrl &url)
{
    if (!url.isValid() || (url.scheme() != QLatin1String("mqtt") && url.scheme() != QLatin1String("mqtts"))
        || url.host().isEmpty())
        return QStringLiteral("mqtt://[user[:password]@]host[:port][/prefix] or mqtts://... expected");
    if (url.path().contains(QLatin1Char('+')) || url.path().contains(QLatin1Char('#')))
        return QStringLiteral("the topic prefix may hold no + or #");
    return QString();
}

QString MqttTarget::description() const
{
    return QStringLiteral("MQTT broker %1").arg(m_url.toString(QUrl::RemoveUserInfo));
}

QString MqttTarget::topic(const QString &subtopic) const
{
    return m_prefix + QLatin1Char('/') + m_meter + QLatin1Char('/') + subtopic;
}

void MqttTarget::send(const QString &meter, const std::vector<FollowedReading> &readings)
{
    m_batch.clear();
    m_batch.reserve(readings.size());
    for (const FollowedReading &reading : readings)
        m_batch.push_back(ReadingJson::line(ReadingJson::object(reading.seq, *reading.record)).chopped(1));
    m_batchOpen = true;
    if (!m_connected) {
        if (!m_link)
            connectTo(meter);
        return;
    }
    publishBatch();
}

void MqttTarget::sendAlarm(const QString &meter, const QByteArray &json)
{
    if (meter != m_meter)
        return;
    if (m_connected)
        publish(QStringLiteral("alarm"), json, false);
    else if (m_link) // a broker not yet answering is not one that is away
        m_alarms.push_back(json);
}

void MqttTarget::connectTo(const QString &meter)
{
    m_meter = meter;
    m_link = std::make_unique<Link>(Link{this, ++m_generation});
    const QByteArray clientId = QStringLiteral("%1-%2-%3")
                                    .arg(QCoreApplication::applicationName(), m_meter)
                                    .arg(::getpid())
                                    .toUtf8()
                                    .left(200);
    mosquitto *client = mosquitto_new(clientId.constData(), true, m_link.get());
    if (!client) {
        fail(QStringLiteral("cannot make an MQTT client"));
        return;
    }
    m_link->client = client;
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // A whole batch in flight at once: its acknowledgements come back together.
    mosquitto_max_inflight_messages_set(client, 0);
    mosquitto_connect_callback_set(client, [](mosquitto *, void *data, int result) {
        Link::post(data, [result](MqttTarget *target, int generation) { target->onConnected(generation, result); });
    });
    mosquitto_disconnect_callback_set(client, [](mosquitto *, void *data, int result) {
        Link::post(data, [result](MqttTarget *target, int generation) { target->onDisconnected(generation, result); });
    });
    mosquitto_publish_callback_set(client, [](mosquitto *, void *data, int mid) {
        Link::post(data, [mid](MqttTarget *target, int generation) { target->onPublished(generation, mid); });
    });
    const QByteArray user = m_url.userName().toUtf8();
    const QByteArray password = m_url.password().toUtf8();
    if (!user.isEmpty())
        mosquitto_username_pw_set(client, user.constData(), password.isEmpty() ? nullptr : password.constData());
    if (m_url.scheme() == QLatin1String("mqtts")) {
        const QByteArray caFile = QFile::encodeName(m_caFile);
        const int tls = m_caFile.isEmpty() ? mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                                           : mosquitto_tls_set(client, caFile.constData(), nullptr, nullptr, nullptr,
                                                               nullptr);
        if (tls != MOSQ_ERR_SUCCESS) {
            fail(QStringLiteral("TLS: %1").arg(QString::fromUtf8(mosquitto_strerror(tls))));
            return;
        }
    }
    const QByteArray willTopic = topic(QStringLiteral("status")).toUtf8();
    mosquitto_will_set(client, willTopic.constData(), offline().size(), offline().constData(), Qos, true);
    const int defaultPort = m_url.scheme() == QLatin1String("mqtts") ? 8883 : 1883;
    const QByteArray host = m_url.host().toUtf8();
    m_giveUp.start(ConnectTimeoutMs);
    const int result = mosquitto_connect_async(client, host.constData(), m_url.port(defaultPort), KeepAliveSeconds);
    if (result != MOSQ_ERR_SUCCESS) {
        fail(result == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errno))
                                      : QString::fromUtf8(mosquitto_strerror(result)));
        return;
    }
    mosquitto_loop_start(client);
    m_link->looping = true;
}

void MqttTarget::onConnected(int generation, int result)
{
    if (generation != m_generation)
        return;
    if (result != 0) {
        fail(QString::fromUtf8(mosquitto_connack_string(result)));
        return;
    }
    m_giveUp.stop();
    m_connected = true;
    if (publish(QStringLiteral("status"), online(), true) < 0)
        return;
    if (m_batchOpen)
        publishBatch();
    // After the batch that holds the readings they were raised by.
    const std::vector<QByteArray> alarms = std::move(m_alarms);
    m_alarms.clear();
    for (const QByteArray &alarm : alarms) {
        if (!m_connected || publish(QStringLiteral("alarm"), alarm, false) < 0)
            return;
    }
}

void MqttTarget::onDisconnected(int generation, int result)
{
    if (generation != m_generation || m_closing)
        return;
    fail(result == 0 ? QStringLiteral("disconnected") : QString::fromUtf8(mosquitto_strerror(result)));
}

void MqttTarget::onPublished(int generation, int mid)
{
    if (generation != m_generation)
        return;
    if (m_closing && mid == m_offlineMid) {
        tearDown();
        emit closed();
        return;
    }
    if (m_unacknowledged.erase(mid) && m_unacknowledged.empty() && m_batchOpen && m_batch.empty()) {
        m_batchOpen = false;
        emit sent();
    }
}

void MqttTarget::publishBatch()
{
    const std::vector<QByteArray> batch = std::move(m_batch);
    m_batch.clear();
    for (const QByteArray &payload : batch) {
        const int mid = publish(QStringLiteral("reading"), payload, false);
        if (mid < 0)
            return;
        m_unacknowledged.insert(mid);
    }
    if (m_unacknowledged.empty() && m_batchOpen) { // an empty batch
        m_batchOpen = false;
        QTimer::singleShot(0, this, &ForwardTarget::sent);
    }
}

int MqttTarget::publish(const QString &subtopic, const QByteArray &payload, bool retain)
{
    int mid = 0;
    const QByteArray name = topic(subtopic).toUtf8();
    const int result =
        mosquitto_publish(m_link->client, &mid, name.constData(), payload.size(), payload.constData(), Qos, retain);
    if (result != MOSQ_ERR_SUCCESS) {
        fail(QString::fromUtf8(mosquitto_strerror(result)));
        return -1;
    }
    return mid;
}

void MqttTarget::fail(const QString &reason)
{
    tearDown();
    if (m_closing) {
        emit closed();
        return;
    }
    // The batch is sent again whole, as the forwarder asks, on a new link.
    m_batch.clear();
    m_batchOpen = false;
    emit failed(reason, true);
}

void MqttTarget::close()
{
    m_closing = true;
    m_batch.clear();
    m_batchOpen = false;
    if (!m_connected) {
        tearDown();
        QTimer::singleShot(0, this, &ForwardTarget::closed);
        return;
    }
    m_offlineMid = publish(QStringLiteral("status"), offline(), true);
    if (m_offlineMid >= 0)
        m_giveUp.start(GoodbyeTimeoutMs);
}

void MqttTarget::tearDown()
{
    m_giveUp.stop();
    m_connected = false;
    m_unacknowledged.clear();
    m_alarms.clear();
    ++m_generation;
    if (!m_link)
        return;
    if (m_link->client) {
        mosquitto_disconnect(m_link->client);
        if (m_link->looping)
            mosquitto_loop_stop(m_link->client, false);
        mosquitto_destroy(m_link->client);
    }
    m_link.reset();
}
