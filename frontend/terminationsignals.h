#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into the Qt signal received(), delivered
// by the event loop, so that the end of a desktop session, a service's stop,
// Ctrl+C in a terminal or a closed terminal (a dropped ssh session) can end a
// front end as its own close does (the meter back to local). One object at a time; the signals get their default
// handling back when it goes.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received();

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr; // child
};
