#pragma once

#include "forwardergroup.h"

#include <QJsonObject>
#include <QObject>

#include <memory>
#include <vector>

// Sends a program's journals on, one after the other as its recordings start
// them: the journal being written is followed as it grows; an ended one is
// sent what it still holds in the background, for as long as each server
// keeps taking readings.
class RecordingForwarder : public QObject
{
    Q_OBJECT
public:
    static constexpr int FlushTimeoutMs = 30000;

    using QObject::QObject;
    ~RecordingForwarder() override;

    // Takes effect with the next journal; empty settings send nothing.
    void setSettings(const ForwardSettings &settings);
    const ForwardSettings &settings() const { return m_settings; }

    void journalStarted(const QString &path);
    void journalEnded();
    void sendAlarm(const QJsonObject &alarm);

signals:
    // For the message list: outages, recoveries, readings left unsent.
    void message(const QString &text);

private:
    ForwardSettings m_settings;
    std::unique_ptr<ForwarderGroup> m_current;
    std::vector<std::unique_ptr<ForwarderGroup>> m_ending;
};
