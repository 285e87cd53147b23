#pragma once

#include "forwardtarget.h"
#include "journalfollower.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <memory>

// Sends a journal's readings to one server, in order, following the file as
// its writer appends to it: the journal is the queue. Readings go in batches
// of at most 500, none waiting more than about a second. When the server
// cannot be reached it is tried again after 1 s, then after twice as long each
// time up to 30 s, and sending resumes from the first reading it has not
// confirmed; the outage and the recovery are each said once.
class Forwarder : public QObject
{
    Q_OBJECT
public:
    static constexpr int BatchSize = 500;
    static constexpr int PollMs = 1000;
    static constexpr int FirstRetryMs = 1000;
    static constexpr int LastRetryMs = 30000;

    Forwarder(const QString &journalPath, std::unique_ptr<ForwardTarget> target, QObject *parent = nullptr);
    ~Forwarder() override;

    // From the journal's first reading on.
    void start();
    // Sends what the journal holds and ends, giving up once the server has
    // taken nothing for `timeoutMs`; then finished() with how many readings
    // could not be sent.
    void finish(int timeoutMs);
    // An alarm to the server's alarm channel, where it has one.
    void sendAlarm(const QJsonObject &alarm);

    QString description() const;
    qint64 sentCount() const { return m_sent; }
    // The journal's file was removed while it was sent.
    bool journalRemoved() const { return m_follower.isRemoved(); }

signals:
    // An outage, the recovery, readings the server refused.
    void message(const QString &text);
    void finished(qint64 unsent);

private:
    void pump();
    void onSent();
    void onFailed(const QString &reason, bool retry);
    // Says goodbye to the server; finished() follows.
    void end();

    JournalFollower m_follower;
    std::unique_ptr<ForwardTarget> m_target;
    QTimer m_poll;
    QTimer m_retry;
    QTimer m_deadline;
    qint64 m_confirmed = 0;  // file position after the last reading the server holds
    qint64 m_batchEnd = 0;   // file position after the batch in flight
    int m_batchSize = 0;     // readings in flight; 0 when none
    qint64 m_sent = 0;
    int m_retryMs = FirstRetryMs;
    bool m_outage = false;
    bool m_finishing = false;
    bool m_ended = false;
};
