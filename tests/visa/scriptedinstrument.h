#pragma once

#include "inprocessinstrument.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// An in-process instrument that answers commands from a table. A command it
// has no answer for gets none, so a read of it times out at once.
class ScriptedInstrument : public visa::InProcessInstrument
{
public:
    explicit ScriptedInstrument(std::string resource) : m_resource(std::move(resource)) {}

    // `command` without its line feed; `answer` exactly as sent back.
    void answer(const std::string &command, const std::string &answer)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers[command] = answer;
    }
    // Every call fails from now on, as with an unplugged cable.
    void unplug()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_unplugged = true;
    }
    std::vector<std::string> received() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    int clearCount() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_clears;
    }

    std::string resourceName() const override { return m_resource; }

    ViStatus write(const std::string &bytes) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_unplugged)
            return VI_ERROR_CONN_LOST;
        std::string command = bytes;
        if (!command.empty() && command.back() == '\n')
            command.pop_back();
        m_received.push_back(command);
        const auto found = m_answers.find(command);
        if (found != m_answers.end())
            m_queue.push_back(found->second);
        return VI_SUCCESS;
    }

    ViStatus read(std::string &message, std::chrono::milliseconds) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_unplugged)
            return VI_ERROR_CONN_LOST;
        if (m_queue.empty())
            return VI_ERROR_TMO; // nothing will come: no need to sit out the time-out
        message = m_queue.front();
        m_queue.erase(m_queue.begin());
        return VI_SUCCESS;
    }

    void clear() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        ++m_clears;
    }

private:
    const std::string m_resource;
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_answers;
    std::vector<std::string> m_queue;
    std::vector<std::string> m_received;
    int m_clears = 0;
    bool m_unplugged = false;
};

// Lists a scripted instrument with the VISA layer for as long as it lives.
class ListedInstrument
{
public:
    explicit ListedInstrument(const std::string &resource)
        : m_instrument(std::make_shared<ScriptedInstrument>(resource))
    {
        visa::addInProcessInstrument(m_instrument);
    }
    ~ListedInstrument() { visa::removeInProcessInstrument(m_instrument.get()); }
    ListedInstrument(const ListedInstrument &) = delete;
    ListedInstrument &operator=(const ListedInstrument &) = delete;

    ScriptedInstrument *operator->() const { return m_instrument.get(); }

private:
    std::shared_ptr<ScriptedInstrument> m_instrument;
};
