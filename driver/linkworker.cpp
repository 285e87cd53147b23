#include "linkworker.h"

#include "command.h"
#include "tessaly.h"

#include <QMetaObject>

#include <utility>

LinkWorker::LinkWorker(Tessaly &transport, QObject *receiver, Result result)
    : transport(transport), receiver(receiver), result(std::move(result)), thread([this] { run(); })
{
}

LinkWorker::~LinkWorker()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        quitting = true;
        givingUp = true;
    }
    wake.notify_all();
    thread.join();
}

void LinkWorker::submit(std::shared_ptr<Command> command)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(command));
        ++unfinished;
    }
    wake.notify_all();
}

void LinkWorker::giveUp()
{
    const std::lock_guard<std::mutex> lock(mutex);
    givingUp = true;
}

bool LinkWorker::isBusy() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return unfinished > 0;
}

bool LinkWorker::notifyWhenIdle(std::function<void()> idle)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (unfinished == 0)
        return false;
    idleNotice = std::move(idle);
    return true;
}

void LinkWorker::run()
{
    for (;;) {
        std::shared_ptr<Command> command;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [this] { return quitting || !queue.empty(); });
            if (quitting)
                return;
            command = std::move(queue.front());
            queue.pop_front();
        }
        QByteArray answer;
        const bool ok = exchange(*command, answer);
        // Posted before the exchange counts as finished, so that a receiver
        // that saw the worker idle finds every result among its events.
        QMetaObject::invokeMethod(
            receiver, [deliver = result, command, ok, answer] { deliver(command, ok, answer); }, Qt::QueuedConnection);
        const std::lock_guard<std::mutex> lock(mutex);
        if (--unfinished == 0 && idleNotice)
            QMetaObject::invokeMethod(receiver, std::exchange(idleNotice, nullptr), Qt::QueuedConnection);
    }
}

bool LinkWorker::exchange(const Command &command, QByteArray &answer)
{
    if (!command.expectsAnswer()) {
        transport.write(command.text()); // its result is not judged
        return true;
    }
    for (int attempt = 0; attempt < QueryAttempts; ++attempt) {
        if (attempt > 0) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (givingUp)
                return false;
        }
        if (transport.queryAny(command.text(), &answer))
            return true;
    }
    return false;
}
