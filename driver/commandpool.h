#pragma once

#include <QList>
#include <QObject>

#include <memory>
#include <mutex>

class Command;

// Commands waiting to be carried out, oldest first. The driver fills a pool
// in the main thread while the pacing thread takes from it; every operation
// is atomic with respect to the other thread.
//
// Lifetime of a handed-out command: the pool holds its commands through
// shared pointers, and handOut() records one lease per hand-out that keeps
// the command alive until the receiver takes the lease back with claim().
// Removing or resetting only drops the pool's own reference, so a Command*
// that travels through a queued signal still points to a live command when
// it is received, however late that is.
class CommandPool : public QObject
{
    Q_OBJECT
public:
    explicit CommandPool(QObject *parent = nullptr);
    ~CommandPool() override;

    virtual void reset();
    virtual Command *next() = 0;
    virtual Command *current() = 0;

    // Takes ownership; returns the new count.
    int append(Command *command);
    QList<Command *> commands() const;
    void removeFirst();

    // next() and a lease on the result, in one step; null when empty.
    std::shared_ptr<Command> handOut();
    // Takes back one lease on `command`; null when this pool holds none.
    std::shared_ptr<Command> claim(const Command *command);
    // Forgets every lease (their hand-outs will never be received).
    void dropLeases();

protected:
    std::shared_ptr<Command> find(const Command *command) const;

    mutable std::recursive_mutex mutex;
    QList<std::shared_ptr<Command>> queue;

private:
    QList<std::shared_ptr<Command>> leases;
};

// Hands out its first command until that command is removed: each command
// goes out once, in order.
class OnceCommandPool : public CommandPool
{
    Q_OBJECT
public:
    explicit OnceCommandPool(QObject *parent = nullptr);

    Command *next() override;
    Command *current() override;
};

// Keeps its commands and hands them out in turn, for ever.
class LoopCommandPool : public CommandPool
{
    Q_OBJECT
public:
    explicit LoopCommandPool(QObject *parent = nullptr);

    void reset() override;
    Command *next() override;
    Command *current() override;

private:
    int position = -1; // index handed out last
};
