#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into the Qt signal received(), delivered by the
// event loop, so that the end of a desktop session, a service's stop or
// Ctrl+C in a terminal can end a front end as its own close does (the meter
// back to local). One object at a time; the signals get their default
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
