#pragma once

#include <QList>
#include <QObject>

#include <vector>

class DmmData;

// Frees records that nothing shows any more a slice at a time from the event
// loop, so that letting go of a day of readings never holds up the GUI
// thread (the pacing thread drops the link after 3 s without an answer).
// The one instance is a child of the application object; whatever it still
// holds when the application goes is freed then. Without an application
// object the records are freed at once.
class RecordDisposal : public QObject
{
    Q_OBJECT
public:
    // Takes ownership of `records`.
    static void dispose(const QList<DmmData *> &records);
    // Nothing is waiting to be freed.
    static bool idle();

    ~RecordDisposal() override;

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    explicit RecordDisposal(QObject *parent);
    static RecordDisposal *instance();

    std::vector<DmmData *> pending;
    size_t next = 0; // pending[next..] are still to be freed
    int timerId = 0;
};
