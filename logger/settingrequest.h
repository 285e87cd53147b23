#pragma once

#include <QString>

#include <optional>

class DmmData;
class Varnok;

// One measuring setting asked for on the command line. It goes to the meter
// through the driver's own set-command and is checked against the state the
// meter reports back, as the control panel's changes are.
class SettingRequest
{
public:
    // "LINE1=CH2" or "LINE1=CH2,DBM"; null when it is not of that form.
    static std::optional<SettingRequest> function(const QString &text);
    // "CH1=AUTO" or "CH1=3.8V".
    static std::optional<SettingRequest> range(const QString &text);
    // "FAST", "MED", "SLOW".
    static std::optional<SettingRequest> rate(const QString &text);

    // Queues the set-command and the query of the same setting.
    void send(Varnok &driver) const;
    // Why `state` shows the meter did not take the setting; empty when it did.
    QString refusal(const DmmData &state) const;
    // The option as given, "--range CH1=AUTO".
    QString optionText() const;

private:
    enum class Kind { Function, Range, Rate };
    SettingRequest(Kind kind, const QString &given);

    Kind m_kind;
    QString m_given;
    int m_target = 0;  // display line or channel, 1 or 2
    int m_channel = 0; // of a function request
    QString m_value;   // function, range or rate as the meter names it
};
