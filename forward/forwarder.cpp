#include "forwarder.h"

#include "readingjson.h"

Forwarder::Forwarder(const QString &journalPath, std::unique_ptr<ForwardTarget> target, QObject *parent)
    : QObject(parent), m_follower(journalPath), m_target(std::move(target))
{
    m_poll.setInterval(PollMs);
    connect(&m_poll, &QTimer::timeout, this, &Forwarder::pump);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &Forwarder::pump);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_batchSize = 0; // an answer that comes now comes too late
        end();
    });
    connect(m_target.get(), &ForwardTarget::sent, this, &Forwarder::onSent);
    connect(m_target.get(), &ForwardTarget::failed, this, &Forwarder::onFailed);
    connect(m_target.get(), &ForwardTarget::closed, this, [this] { emit finished(m_follower.readingsAfter(m_confirmed)); });
}

Forwarder::~Forwarder() = default;

void Forwarder::start()
{
    m_poll.start();
    pump();
}

void Forwarder::finish(int timeoutMs)
{
    m_finishing = true;
    m_deadline.start(timeoutMs);
    // A server away until now is tried at once, not after a wait that may
    // outlast the time given.
    m_retry.stop();
    pump();
}

void Forwarder::sendAlarm(const QJsonObject &alarm)
{
    // The reading that raised it is in the journal: sent first, which makes
    // the link when there is none yet.
    pump();
    m_target->sendAlarm(m_follower.meter(), ReadingJson::line(alarm).chopped(1));
}

QString Forwarder::description() const
{
    return m_target->description();
}

void Forwarder::pump()
{
    if (m_ended || m_batchSize > 0 || m_retry.isActive())
        return;
    std::vector<FollowedReading> batch = m_follower.readMore(BatchSize);
    if (batch.empty()) {
        m_confirmed = m_follower.position(); // only comments and the like since
        if (m_finishing)
            end();
        return;
    }
    m_batchSize = int(batch.size());
    m_batchEnd = m_follower.position();
    m_target->send(m_follower.meter(), batch);
}

void Forwarder::onSent()
{
    if (m_batchSize == 0)
        return;
    const bool full = m_batchSize == BatchSize;
    m_sent += m_batchSize;
    m_batchSize = 0;
    m_confirmed = m_batchEnd;
    m_retryMs = FirstRetryMs;
    if (m_finishing) // the time allowed runs from the last progress
        m_deadline.start();
    if (m_outage) {
        m_outage = false;
        emit message(QStringLiteral("%1 reached again; sending the readings held in the journal").arg(description()));
    }
    // A full batch leaves more behind it: the backlog goes at once.
    if (full || m_finishing)
        pump();
}

void Forwarder::onFailed(const QString &reason, bool retry)
{
    if (m_batchSize == 0)
        return;
    if (!retry) {
        emit message(QStringLiteral("%1 refused %2 readings (%3); they stay in the journal")
                         .arg(description())
                         .arg(m_batchSize)
                         .arg(reason));
        m_batchSize = 0;
        m_confirmed = m_batchEnd;
        pump();
        return;
    }
    m_batchSize = 0;
    m_follower.rewind(m_confirmed);
    if (!m_outage) {
        m_outage = true;
        emit message(QStringLiteral("%1 cannot be reached (%2); readings wait in the journal and are sent when it is back")
                         .arg(description(), reason));
    }
    m_retry.start(m_retryMs);
    m_retryMs = qMin(m_retryMs * 2, LastRetryMs);
}

void Forwarder::end()
{
    if (m_ended)
        return;
    m_ended = true;
    m_poll.stop();
    m_retry.stop();
    m_deadline.stop();
    m_target->close();
}
