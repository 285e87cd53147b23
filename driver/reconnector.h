#pragma once

#include <QBasicTimer>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>

class Tessaly;
class Varnok;

// Keeps a driver's link to its meter through a pulled cable or a silent
// meter. Once started on an open driver it watches for the link being lost
// (the driver's communication time-out, which follows an unplug as well as a
// silence); a close by anyone else, the meter gone to local included, is
// not a loss. After a loss it looks for the same instrument every second, or
// at once when the transport announces an arrival, and reopens the driver on
// it. The link counts as back when the reopened meter first answers.
class Reconnector : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds RetryInterval{1000};

    // Neither is owned; both must outlive this object.
    Reconnector(Varnok &driver, Tessaly &transport, QObject *parent = nullptr);
    ~Reconnector() override;

    // Watches the link of the driver, which must be open; the instrument it
    // is open on is the one to come back to. False when the driver is closed.
    bool start();
    // Ends the watch and any search under way; the driver is left as it is.
    void stop();

    bool isWatching() const;
    // The link was lost and is not back yet.
    bool isReconnecting() const;
    QDateTime lostAt() const;

signals:
    void linkLost(const QDateTime &at);
    void linkRestored(const QDateTime &lostAt, const QDateTime &backAt);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void onCommunicationTimeout();
    void onFirstAnswer();
    void tryReopen();

    enum class State { Idle, Watching, Reconnecting };

    Varnok &driver;
    Tessaly &transport;
    State state = State::Idle;
    QString resource; // the instrument to come back to
    QDateTime lost;
    QBasicTimer retry;
};
