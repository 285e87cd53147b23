#pragma once

#include "forwardergroup.h"
#include "readingwatch.h"
#include "logoptions.h"
#include "metersession.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class Console;
class DmmData;

// The exit status of dmmlog. An output that cannot be written, or a reading
// that did not reach it, ends in the status of a lost link.
enum LogExit { CleanEnd = 0, LinkLost = 1, OutputFailed = 1, BadArguments = 2, NoMeter = 3 };

// One logging run: opens the meter, makes the settings asked for, records one
// line per reading the driver emits, and ends when a limit is reached, the
// link is lost or stop() is called, always with the meter back in local mode
// and the log complete. The meter, its reconnect and the log's writing are
// the session's; the run is the session's one recording target.
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
    std::unique_ptr<RecordSink> openSink(const JournalHeader &header);
    void onReading(const DmmData *data);
    void onKept(const DmmData &record);
    bool checkSettings(const DmmData &state);
    void onLinkRestored(const QString &text);
    void onDurationTick();
    void showStatus(const DmmData &record);
    // Alarms raised or cleared by the reading, and the stop conditions it meets.
    void watch(const DmmData &record);
    // Ends the run with `status` once the driver has finished what it is
    // doing; `message` (if any) goes to standard error at once.
    void end(int status, const QString &message = QString());
    void close(int status);
    void removeEmptyOutput();
    // The journal's readings go to `path` from here on: the first file, or
    // one the journal made after the file before was removed.
    void forwardFrom(const QString &path);
    void onForwardingFinished(qint64 unsent);

    const LogOptions m_options;
    Console &m_console;
    MeterSession m_session;
    std::unique_ptr<QFile> m_stream; // until the sink takes it; none for a CSV file
    QString m_created; // the file this run made
    // Send the journal on, one per file it was written to; the last follows
    // the file being written, those before send what their file still holds.
    std::vector<std::unique_ptr<ForwarderGroup>> m_forwarding;
    size_t m_forwardingDone = 0;
    qint64 m_unsent = 0;
    int m_status = -1; // the run's own exit status, once it has closed
    ReadingWatch m_watch;
    qint64 m_readings = 0;
    bool m_checked = false; // the settings are as asked
    bool m_ending = false;
    QElapsedTimer m_clock;
    // A timer waits an int of milliseconds at most: it is woken in steps
    // until the deadline has passed.
    QDeadlineTimer m_deadline;
    QTimer m_duration;
};

// Lists the USB instruments to standard output; NoMeter when there are none.
int listInstruments(Console &console);
