#pragma once

#include "logformat.h"
#include "logoptions.h"
#include "logoutput.h"
#include "tessaly.h"
#include "varnok.h"

#include <QElapsedTimer>
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
    void onReading(const DmmData *data);
    bool checkSettings(const DmmData &state);
    void onLinkLost(const QString &why);
    bool write(const QByteArray &text);
    void showStatus(const DmmData &record);
    // Ends the run with `status` once the driver has finished what it is
    // doing; `message` (if any) goes to standard error at once.
    void end(int status, const QString &message = QString());
    void close(int status);

    const LogOptions m_options;
    Console &m_console;
    Tessaly m_transport;
    Varnok m_driver;
    LogOutput m_output;
    std::unique_ptr<LogFormat> m_format;
    qint64 m_readings = 0;
    bool m_opened = false; // the log's opening is written
    bool m_ending = false;
    QElapsedTimer m_clock;
    QTimer m_duration;
};

// Lists the USB instruments to standard output; NoMeter when there are none.
int listInstruments(Console &console);
