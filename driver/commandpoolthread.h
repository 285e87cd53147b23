#pragma once

#include "autoresetevent.h"

#include <QList>
#include <QThread>

#include <atomic>
#include <mutex>

class Command;
class CommandPool;

// Sets the pace of all traffic with the meter. In its own thread it picks the
// next command by strict priority of its pools, hands it to the driver with
// nextCommand(), waits (bounded) for the answer and for the end of the
// handling, removes a once-pool command, pauses and picks again. It never
// touches the transport.
//
// The receiver of nextCommand() takes the command's lease back from its pool
// with CommandPool::claim() (see commandpool.h).
class CommandPoolThread : public QThread
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds AnswerTimeout{3000};
    static constexpr std::chrono::milliseconds Pause{33};

    // The first two pools are once pools whose commands are removed after
    // use; the third is the loop pool. Not owned.
    explicit CommandPoolThread(const QList<CommandPool *> &pools);
    ~CommandPoolThread() override;

    void stop();
    void setResponse();
    void setHandled();

signals:
    void nextCommand(Command *command);
    void communicationTimeout();

protected:
    void run() override;

private:
    // Asks run() to end and releases every wait it may be in.
    void requestStop();
    // False when stop() came first.
    bool beginRun();
    // Clears replies left over from earlier commands.
    void forgetEarlierReplies();
    // Waits for `event` or a stop; false on a stop.
    enum class Wait { Event, TimedOut, Stopped };
    Wait waitFor(AutoResetEvent &event);
    void pause();

    const QList<CommandPool *> pools;
    std::atomic<bool> stopRequested{true};
    std::mutex stopMutex;
    bool stopCalled = false; // guarded by stopMutex
    AutoResetEvent stopEvent;
    AutoResetEvent responseEvent;
    AutoResetEvent handledEvent;
};
