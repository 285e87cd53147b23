#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into the Qt signal received(), delivered by the
// event loop, so that the end of a desktop session (or Ctrl+C in a terminal)
// can close the window as the Close action does. One object at a time; the
// signals get their default handling back when it goes.
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
