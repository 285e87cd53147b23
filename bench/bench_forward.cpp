// Sending a journal of 100,000 readings to a local InfluxDB 1.x and a local
// Mosquitto, as after an outage when the whole backlog goes at once: readings
// per second, and this process's processor time per reading (what forwarding
// costs dmmlog, the servers' share left out).
#include "dmmdata.h"
#include "forwardergroup.h"
#include "journalwriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int Count = 100000;

int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void writeJournal(const QString &path)
{
    DmmData record;
    record.lines[0]->channel = record.channels[0];
    record.lines[1]->channel = record.channels[1];
    ChannelData &ch1 = *record.channels[0];
    ChannelData &ch2 = *record.channels[1];
    ch1.functions[0] = ch2.functions[1] = QStringLiteral("VOLT");
    ch1.unitTexts[0] = QStringLiteral("mV");
    ch2.unitTexts[1] = QStringLiteral("V");
    ch1.frequency = 1000;
    ch2.frequency = 50;
    JournalHeader header;
    header.resource = QStringLiteral("USB0::0x28E9::0x0285::KM4473NBENCH::INSTR");
    JournalWriter writer(path, header);
    const QDateTime start = QDateTime::currentDateTime();
    for (int n = 0; n < Count; ++n) {
        record.time = start.addMSecs(n * 200LL);
        ch1.values[0] = 0.123 + n % 1000 * 1e-6;
        ch1.valueTexts[0] = QString::number(ch1.values[0] * 1e3, 'f', 3);
        ch2.values[1] = 1.2 + n % 700 * 1e-5;
        ch2.valueTexts[1] = QString::number(ch2.values[1], 'f', 4);
        writer.append(record);
    }
    writer.close();
}

bool waitForPort(int port)
{
    for (int i = 0; i < 300; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (socket.waitForConnected(100))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool post(QNetworkAccessManager &network, const QString &url)
{
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = network.post(request, QByteArray());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return reply->error() == QNetworkReply::NoError;
}

void measure(const char *what, const QString &journal, const ForwardSettings &settings)
{
    ForwarderGroup group(journal, settings);
    qint64 unsent = -1;
    QEventLoop loop;
    QObject::connect(&group, &ForwarderGroup::finished, &loop, [&](qint64 left) {
        unsent = left;
        loop.quit();
    });
    QObject::connect(&group, &ForwarderGroup::message, [](const QString &text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const double cpu = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    group.start();
    group.finish(60000);
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("%-8s %d readings in %.2f s: %.0f readings/s, %.1f us of processor time per reading, %lld unsent\n",
                what, Count, seconds, Count / seconds, (cpuSeconds() - cpu) / Count * 1e6, unsent);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString journal = dir.filePath("backlog.csv");
    writeJournal(journal);

    const int influxPort = freePort();
    const int mqttPort = freePort();
    QFile config(dir.filePath("influxd.conf"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("reporting-disabled = true\nbind-address = \"127.0.0.1:%1\"\n"
                                "[meta]\n dir = \"%2/meta\"\n logging-enabled = false\n"
                                "[data]\n dir = \"%2/data\"\n wal-dir = \"%2/wal\"\n query-log-enabled = false\n"
                                "[monitor]\n store-enabled = false\n[continuous_queries]\n enabled = false\n"
                                "[http]\n bind-address = \"127.0.0.1:%3\"\n log-enabled = false\n")
                     .arg(freePort())
                     .arg(dir.path())
                     .arg(influxPort)
                     .toUtf8());
    config.close();
    QFile mqttConfig(dir.filePath("mosquitto.conf"));
    mqttConfig.open(QIODevice::WriteOnly);
    mqttConfig.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n").arg(mqttPort).toUtf8());
    mqttConfig.close();
    QProcess influxd;
    QProcess mosquitto;
    influxd.setStandardOutputFile(QProcess::nullDevice());
    influxd.setStandardErrorFile(QProcess::nullDevice());
    influxd.start(QStringLiteral("influxd"), {QStringLiteral("-config"), config.fileName()});
    mosquitto.setStandardErrorFile(QProcess::nullDevice());
    mosquitto.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), mqttConfig.fileName()});
    QNetworkAccessManager network;
    const QString influx = QStringLiteral("http://127.0.0.1:%1").arg(influxPort);
    if (!waitForPort(influxPort) || !waitForPort(mqttPort)
        || !post(network, influx + QStringLiteral("/query?q=CREATE%20DATABASE%20bench"))) {
        std::fprintf(stderr, "influxd or mosquitto did not start\n");
        return 1;
    }
    ForwardSettings toInflux;
    toInflux.influx = QUrl(influx + QStringLiteral("/write?db=bench"));
    measure("InfluxDB", journal, toInflux);
    ForwardSettings toMqtt;
    toMqtt.mqtt = QUrl(QStringLiteral("mqtt://127.0.0.1:%1/bench").arg(mqttPort));
    measure("MQTT", journal, toMqtt);
    influxd.terminate();
    mosquitto.terminate();
    influxd.waitForFinished();
    mosquitto.waitForFinished();
    return 0;
}
