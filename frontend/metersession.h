#pragma once

#include "journalformat.h"
#include "limitwatcher.h"
#include "linestatistics.h"
#include "recordingforwarder.h"
#include "recordsink.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class DmmData;
class Reconnector;
class Tessaly;
class Varnok;

// One meter as a front end (the window, dmmlog) uses it: the transport, the
// driver on it, the reconnect that keeps the link through a pulled cable or a
// silence, and the journal of the recording. The session owns all of them;
// a front end reaches the driver for settings and readings, and leaves the
// link, the recording state and the journal to the session.
//
// Readings: the driver's display() goes to the front end, which decides
// whether its target keeps a reading and then calls keep(). The session
// writes what is kept to the journal and announces it by readingKept(), the
// one place where add-ons (statistics, alarms, forwarding) see each kept
// reading.
//
// The journal's file is sent on to the servers the forwarder's settings name,
// followed as it grows.
//
// The recording is one state machine:
//   Idle         -> Recording     startRecording()
//   Recording    -> Idle          stopRecording(), the target destroyed, a
//                                 close, a loss no reconnect takes on
//   Recording    -> PausedByLoss  the link lost while a reconnect watches it
//   PausedByLoss -> Recording     the link back: into the same target
//   PausedByLoss -> Idle          stopRecording() (Stop, another target, the
//                                 target deleted), the reconnect ended
//   any          -> Closing       close(), until the link is down; then Idle
class MeterSession : public QObject
{
    Q_OBJECT
public:
    enum class Recording { Idle, Recording, PausedByLoss, Closing };
    Q_ENUM(Recording)

    // Makes the sink for a recording's readings, with the header the session
    // built; null writes no journal.
    using JournalOpener = std::function<std::unique_ptr<RecordSink>(const JournalHeader &header)>;

    // The meters the program talks to, as the user knows them.
    static const QString ModelName;

    // `program` names the front end in the journal's header.
    explicit MeterSession(const QString &program, QObject *parent = nullptr);
    ~MeterSession() override;
    MeterSession(const MeterSession &) = delete;
    MeterSession &operator=(const MeterSession &) = delete;

    Varnok &driver() const;
    Tessaly &transport() const;

    // The link. open() connects the driver and, with automatic reconnect on,
    // watches the link; on failure openFailureText() says why. close() is a
    // close by the front end: the recording ends, then any reconnect, then
    // the link, with the meter back in local mode.
    bool open();
    QString openFailureText() const;
    void close();
    bool isOpen() const;
    // The connected instrument; empty when not connected.
    QString resource() const;
    void setAutoReconnect(bool on);
    bool autoReconnect() const;
    // Ends the reconnect under way, and the recording it would resume.
    void endReconnect();

    // The recording. `target` is the front end's object the readings go to
    // (the window's item); the session only holds it, weakly, and stops
    // recording when it is destroyed. Starting ends a recording into another
    // target first.
    Recording recording() const;
    bool isRecording() const;
    QObject *target() const;
    void startRecording(QObject *target, const QString &name);
    void stopRecording();
    // The target kept `record`: into the journal, then readingKept().
    void keep(const DmmData &record);
    // A note in the recording's journal, such as why it ends early.
    void note(const QString &text);
    // A display line's alarm raised or cleared, in the recording's journal.
    // An alarm that still stands when a journal begins is its first line.
    void noteAlarm(const AlarmEvent &event);
    // Of the readings in the journal under way; a journal ends with them.
    const LineStatistics &journalStatistics() const { return statistics; }
    // The readings kept from now go to a new journal file (a function change
    // emptied the target).
    void restartJournal();

    // The journal. Without an opener nothing is written; setting none while
    // recording ends the journal under way.
    void setJournalOpener(JournalOpener opener);
    bool writesJournal() const;
    // What a journal of `name` started now says of the meter and the options.
    JournalHeader journalHeader(const QString &name) const;
    // Readings kept in this session that did not reach a journal.
    qint64 notWritten() const;
    // Where the last reading kept begins in the journal's file; -1 when it
    // is not there.
    qint64 lastJournalLine() const;
    // Sends each journal file on; its settings take effect with the next file.
    RecordingForwarder &forwarder() { return forwarding; }

signals:
    void recordingChanged(MeterSession::Recording state);
    // After the journal has it.
    void readingKept(const DmmData &record);
    // The link lost while the reconnect watches it, and back; the texts are
    // for the user, the same in every front end.
    void linkLost(const QString &text);
    void linkRestored(const QString &text);
    // The link lost with no reconnect to take it on: the meter stopped
    // answering, or left the bus (`unplugged`). Delivered once the driver
    // has finished the command that reported it.
    void linkDropped(bool unplugged);
    // The journal's messages: a file that cannot be written, or is again.
    void message(const QString &text);
    // The journal's output is gone for good.
    void journalBroken(const QString &text);
    // The recording's readings go to the journal file `path` from here on.
    void journalFileStarted(const QString &path);
    // The recording's journal was closed; its file stays as it is now.
    void journalEnded();

private:
    void setRecording(Recording state);
    // Idle, without the target; false when not recording.
    bool leaveTarget();
    void endJournal();
    void onDriverClosed();
    void onCommunicationTimeout();
    void onLinkLost(const QDateTime &noticed);
    void onLinkRestored(const QDateTime &lostAt, const QDateTime &backAt);
    bool meterListed() const;

    const QString program;
    // Built in the constructor and torn down in the destructor in the order
    // each needs: the reconnector works on the driver, the driver talks
    // through the transport.
    std::unique_ptr<Tessaly> m_transport;
    std::unique_ptr<Varnok> m_driver;
    std::unique_ptr<Reconnector> reconnector;
    JournalOpener opener;
    RecordingForwarder forwarding; // follows the journal's file
    std::unique_ptr<RecordSink> journal; // the recording's, once it kept a reading
    LineStatistics statistics; // of the journal's readings
    std::optional<AlarmEvent> standingAlarms[2]; // raised, not yet cleared, by display line

    Recording state = Recording::Idle;
    QPointer<QObject> recordTarget;
    QString targetName;
    bool reconnecting = true;
    QString linkResource;      // the instrument last opened
    QDateTime lastKept;        // of this recording
    QDateTime gapFrom;         // valid: the next reading kept follows a gap
    qint64 lost = 0;           // by journals already closed
};
