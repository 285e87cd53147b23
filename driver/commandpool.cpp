#include "commandpool.h"

#include "command.h"

#include <algorithm>

using Lock = std::lock_guard<std::recursive_mutex>;

CommandPool::CommandPool(QObject *parent) : QObject(parent) {}

CommandPool::~CommandPool() = default;

void CommandPool::reset()
{
    Lock lock(mutex);
    queue.clear();
}

int CommandPool::append(Command *command)
{
    Lock lock(mutex);
    if (command) // a null entry would block a once pool for ever
        queue.append(std::shared_ptr<Command>(command));
    return queue.size();
}

QList<Command *> CommandPool::commands() const
{
    Lock lock(mutex);
    QList<Command *> list;
    list.reserve(queue.size());
    for (const auto &command : queue)
        list.append(command.get());
    return list;
}

void CommandPool::removeFirst()
{
    Lock lock(mutex);
    if (!queue.isEmpty())
        queue.removeFirst();
}

std::shared_ptr<Command> CommandPool::handOut()
{
    Lock lock(mutex);
    std::shared_ptr<Command> command = find(next());
    if (command)
        leases.append(command);
    return command;
}

std::shared_ptr<Command> CommandPool::claim(const Command *command)
{
    Lock lock(mutex);
    const auto lease = std::find_if(leases.begin(), leases.end(),
                                    [command](const auto &held) { return held.get() == command; });
    if (lease == leases.end())
        return nullptr;
    std::shared_ptr<Command> claimed = *lease;
    leases.erase(lease);
    return claimed;
}

void CommandPool::dropLeases()
{
    Lock lock(mutex);
    leases.clear();
}

std::shared_ptr<Command> CommandPool::find(const Command *command) const
{
    if (!command)
        return nullptr;
    Lock lock(mutex);
    for (const auto &held : queue)
        if (held.get() == command)
            return held;
    return nullptr;
}

OnceCommandPool::OnceCommandPool(QObject *parent) : CommandPool(parent) {}

Command *OnceCommandPool::next()
{
    Lock lock(mutex);
    return queue.isEmpty() ? nullptr : queue.first().get();
}

Command *OnceCommandPool::current()
{
    return next();
}

LoopCommandPool::LoopCommandPool(QObject *parent) : CommandPool(parent) {}

void LoopCommandPool::reset()
{
    Lock lock(mutex);
    position = -1;
}

Command *LoopCommandPool::next()
{
    Lock lock(mutex);
    if (queue.isEmpty()) {
        position = -1;
        return nullptr;
    }
    position = position + 1 < queue.size() ? position + 1 : 0;
    return queue.at(position).get();
}

Command *LoopCommandPool::current()
{
    Lock lock(mutex);
    if (position < 0 || position >= queue.size())
        return nullptr;
    return queue.at(position).get();
}
