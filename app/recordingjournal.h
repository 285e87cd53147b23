#pragma once

#include "journalformat.h"
#include "recordingforwarder.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class DmmData;
class ItemData;
class JournalWriter;

// The journal files of the window's recordings, in the per-user data folder:
// one file per continuous recording of an item, written as its readings are
// kept. Ending a recording closes its file; nothing here ever deletes one.
// Each file is sent on as it is written when servers are named.
class RecordingJournal : public QObject
{
    Q_OBJECT
public:
    // What a new journal's header says of the meter and the options; the item
    // name and the start time are filled in here.
    using HeaderSource = std::function<JournalHeader()>;

    explicit RecordingJournal(HeaderSource headerSource, QObject *parent = nullptr);
    ~RecordingJournal() override;

    // journal/ in the per-user data folder.
    static QString folder();

    bool isEnabled() const;
    // Off ends the recording's journal; on takes effect with the next reading kept.
    void setEnabled(bool on);

    // The header of a journal of `item` started now.
    JournalHeader headerFor(const ItemData &item) const;

    // `item` kept `record`: the first reading of a recording starts its file.
    void keep(const DmmData &record, const ItemData &item);
    // The recording ends (Stop, another item, a rename, a function change):
    // the next reading kept starts a new file.
    void end();
    // The link to the meter was lost at `lost` and came back at `resumed`
    // while recording: the journal says so between its readings.
    void noteGap(const QDateTime &lost, const QDateTime &resumed);
    // Sends each journal on as it is written, where its settings say.
    RecordingForwarder &forwarder() { return forwarding; }

signals:
    // For the message list: a journal that cannot be written, or is again.
    void message(const QString &text);

private:
    HeaderSource headerSource;
    std::unique_ptr<JournalWriter> writer;
    QPointer<const ItemData> writtenItem;
    bool enabled = true;
    RecordingForwarder forwarding;
};
