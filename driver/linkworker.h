#pragma once

#include <QByteArray>
#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class Command;
class Tessaly;

// Carries out the driver's commands on the transport in a thread of its own,
// so that a meter that is silent, slow or pulled off mid-transfer never holds
// up the thread the driver lives in. Exchanges run one at a time in the order
// handed over; a query is tried up to three times. Each result is delivered
// in the receiver's thread, as a queued call on the receiver.
class LinkWorker
{
public:
    static constexpr int QueryAttempts = 3;

    // `ok` is false for a query that got no answer in every try (a write's
    // result is not judged); `answer` is the bytes of the answer.
    using Result = std::function<void(std::shared_ptr<Command> command, bool ok, const QByteArray &answer)>;

    // The transport must stay open until the worker is gone; `receiver`, where
    // results are delivered, must outlive it and drop the results still
    // posted to it once it is gone.
    LinkWorker(Tessaly &transport, QObject *receiver, Result result);
    // Waits for the exchange under way, drops those not begun, ends the thread.
    ~LinkWorker();
    LinkWorker(const LinkWorker &) = delete;
    LinkWorker &operator=(const LinkWorker &) = delete;

    void submit(std::shared_ptr<Command> command);
    // From now on a query under way ends after its current try.
    void giveUp();
    // Exchanges handed over and not finished yet.
    bool isBusy() const;
    // While busy: `idle` is called once every exchange is finished, as a
    // queued call on the receiver after the last result; true. False, and
    // no call, when nothing is unfinished.
    bool notifyWhenIdle(std::function<void()> idle);

private:
    void run();
    bool exchange(const Command &command, QByteArray &answer);

    Tessaly &transport;
    QObject *const receiver;
    Result result;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<Command>> queue; // guarded by mutex
    int unfinished = 0;                         // guarded by mutex
    bool quitting = false;                      // guarded by mutex
    bool givingUp = false;                      // guarded by mutex
    std::function<void()> idleNotice;           // guarded by mutex
    std::thread thread;
};
