#pragma once

#include <QObject>
#include <QString>

class DmmData;

// Where the readings go, in the format asked for.
class LogSink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void append(const DmmData &record) = 0;
    // A note between readings, such as a gap in the link.
    virtual void appendComment(const QString &text) = 0;
    // Ends the log as it should end; later appends are ignored.
    virtual void close() = 0;

signals:
    // For standard error; logging goes on.
    void message(const QString &text);
    // The output is gone for good; logging has to end.
    void broken(const QString &text);
};
