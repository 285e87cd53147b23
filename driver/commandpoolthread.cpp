#include "commandpoolthread.h"

#include "command.h"
#include "commandpool.h"

#include <QDebug>

#include <memory>

CommandPoolThread::CommandPoolThread(const QList<CommandPool *> &pools) : pools(pools)
{
    qRegisterMetaType<Command *>("Command*");
}

CommandPoolThread::~CommandPoolThread()
{
    // Destroying a running QThread aborts the program. A stop that timed out
    // left the thread finishing its current wait, which is bounded.
    if (isRunning()) {
        requestStop();
        wait();
    }
}

void CommandPoolThread::stop()
{
    requestStop();
    if (!wait(static_cast<unsigned long>(AnswerTimeout.count())))
        qDebug("Failed to stop the CommandPoolThread.");
}

void CommandPoolThread::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        stopCalled = true;
        stopRequested = true;
    }
    stopEvent.set();
    responseEvent.set();
    handledEvent.set();
}

void CommandPoolThread::setResponse()
{
    responseEvent.set();
}

void CommandPoolThread::setHandled()
{
    handledEvent.set();
}

bool CommandPoolThread::beginRun()
{
    // Under the same lock as stop(), so that a stop() arriving before the
    // thread got going is not undone here.
    std::lock_guard<std::mutex> lock(stopMutex);
    if (stopCalled)
        return false;
    stopRequested = false;
    stopEvent.reset();
    responseEvent.reset();
    return true;
}

void CommandPoolThread::forgetEarlierReplies()
{
    // A reply still set now came for a command the thread had given up on
    // (the driver finished it after a time-out); it must not count for the
    // one about to go out. After a stop() its replies stay: they let the
    // thread end at once.
    std::lock_guard<std::mutex> lock(stopMutex);
    if (stopCalled)
        return;
    responseEvent.reset();
    handledEvent.reset();
}

CommandPoolThread::Wait CommandPoolThread::waitFor(AutoResetEvent &event)
{
    switch (AutoResetEvent::waitAny(stopEvent, event, AnswerTimeout)) {
    case 0:
        stopRequested = true;
        return Wait::Stopped;
    case 1:
        return Wait::Event;
    default:
        return Wait::TimedOut;
    }
}

void CommandPoolThread::pause()
{
    if (stopEvent.wait(Pause))
        stopRequested = true;
}

void CommandPoolThread::run()
{
    if (!beginRun())
        return;

    QByteArray lastText;
    while (!stopRequested) {
        std::shared_ptr<Command> command;
        CommandPool *owner = nullptr;
        for (int i = 0; i < pools.size() && i < 3 && !command; ++i) {
            if (pools.at(i) && (command = pools.at(i)->handOut()))
                owner = i < 2 ? pools.at(i) : nullptr; // loop commands stay
        }

        if (command) {
            lastText = command->text();
            forgetEarlierReplies();
            emit nextCommand(command.get());
            if (command->expectsAnswer()) {
                const Wait answer = waitFor(responseEvent);
                if (answer == Wait::Stopped)
                    continue;
                if (answer == Wait::TimedOut)
                    emit communicationTimeout();
            }
            if (waitFor(handledEvent) == Wait::Stopped)
                continue;
            if (owner)
                owner->removeFirst();
        }

        // Uploads run back to back. An idle pass always pauses: it would
        // otherwise spin when the last command was an upload.
        if (!command || !lastText.startsWith("MEMory:UPLoad"))
            pause();
    }

    // Let the driver's last answer and end of handling arrive before we go.
    const int first = AutoResetEvent::waitAny(responseEvent, handledEvent, AnswerTimeout);
    if (first == 0)
        handledEvent.wait(AnswerTimeout);
    else if (first == 1)
        responseEvent.wait(AnswerTimeout);
}
