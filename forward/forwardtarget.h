#pragma once

#include "journalfollower.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <vector>

// A server that readings are sent to. One batch at a time: send() is answered
// by sent() once the server holds every reading of it, or by failed().
class ForwardTarget : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // "InfluxDB at http://host:8086", without credentials.
    virtual QString description() const = 0;
    virtual void send(const QString &meter, const std::vector<FollowedReading> &readings) = 0;
    // An alarm as a JSON object, where the server has a place for alarms; it
    // is not kept for later when the server cannot be reached.
    virtual void sendAlarm(const QString &meter, const QByteArray &json)
    {
        Q_UNUSED(meter)
        Q_UNUSED(json)
    }
    // Says goodbye where the server keeps a status; closed() follows.
    virtual void close() = 0;

signals:
    void sent();
    // `retry`: the server could not be reached or was not ready, and the
    // same readings are to be sent again later; otherwise it refused them
    // for good.
    void failed(const QString &reason, bool retry);
    void closed();
};
