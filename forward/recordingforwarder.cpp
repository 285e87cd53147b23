#include "recordingforwarder.h"

#include <algorithm>

RecordingForwarder::~RecordingForwarder() = default;

void RecordingForwarder::setSettings(const ForwardSettings &settings)
{
    m_settings = settings;
}

void RecordingForwarder::journalStarted(const QString &path)
{
    journalEnded();
    if (m_settings.isEmpty())
        return;
    m_current = std::make_unique<ForwarderGroup>(path, m_settings);
    connect(m_current.get(), &ForwarderGroup::message, this, &RecordingForwarder::message);
    m_current->start();
}

void RecordingForwarder::journalEnded()
{
    if (!m_current)
        return;
    ForwarderGroup *ending = m_current.get();
    connect(ending, &ForwarderGroup::finished, this, [this, ending] {
        const auto it = std::find_if(m_ending.begin(), m_ending.end(),
                                     [ending](const auto &group) { return group.get() == ending; });
        // Not inside its own signal.
        it->release()->deleteLater();
        m_ending.erase(it);
    });
    m_ending.push_back(std::move(m_current));
    ending->finish(FlushTimeoutMs);
}

void RecordingForwarder::sendAlarm(const QJsonObject &alarm)
{
    if (m_current)
        m_current->sendAlarm(alarm);
}
