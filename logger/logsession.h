#pragma once

#include "forwardergroup.h"
#include "logoptions.h"
#include "logsink.h"
#include "reconnector.h"
#include "tessaly.h"
#include "varnok.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <memory>

class Console;

// The exit status of dmmlog.
enum LogExit { CleanEnd = 0, LinkLost = 1, BadArguments = 2, NoMeter = 3 };

// One logging run: opens the meter, makes the settings asked for, writes one
// line per reading the driver emits, and ends when a limit is reached, the
// link is lost or stop() is called, always with the meter back in local mode
// and the log complete.
class LogSession : public QObject
{
    Q_OBJECT
public:
    LogSession(const LogOptions &options, Console &console, QObject *parent = nullptr);
    ~LogSession() override;

    // Opens the output and the meter; the end is announced by finished().
    void start();
    // A clean end, as at a limit.
    void stop();

signals:
    void finished(int exitStatus);

private:
    // Creates the file asked for, or takes standard output; false on failure.
    bool openOutput();
    void openSink();
    void onReading(const DmmData *data);
    bool checkSettings(const DmmData &state);
    void onCommunicationTimeout();
    void onLinkLost(const QDateTime &at);
    void onLinkRestored(const QDateTime &lostAt, const QDateTime &backAt);
    void showStatus(const DmmData &record);
    // Ends the run with `status` once the driver has finished what it is
    // doing; `message` (if any) goes to standard error at once.
    void end(int status, const QString &message = QString());
    void close(int status);

    const LogOptions m_options;
    Console &m_console;
    Tessaly m_transport;
    Varnok m_driver;
    Reconnector m_reconnector;
    std::unique_ptr<QFile> m_stream; // until the sink takes it; none for a CSV file
    QString m_created; // the file this run made
    std::unique_ptr<LogSink> m_sink;
    std::unique_ptr<ForwarderGroup> m_forwarding; // sends the journal on
    qint64 m_readings = 0;
    bool m_checked = false; // the settings are as asked
    bool m_ending = false;
    QElapsedTimer m_clock;
    QTimer m_duration;
};

// Lists the USB instruments to standard output; NoMeter when there are none.
int listInstruments(Console &console);
