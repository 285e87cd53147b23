#pragma once

class DmmData;
class ItemData;
class RecordingJournal;
class Varnok;

// Decides for each live reading whether the active item keeps it: only
// while recording, below the item's sample-point limit, and never a reading
// without a value. A reading whose function on either line differs from the
// item's own last reading starts the item anew.
// Every reading kept also goes to the recording's journal file, which keeps
// it when the item in memory is emptied.
class Recorder
{
public:
    Recorder(const Varnok &driver, RecordingJournal &journal);

    void setRecording(bool on);
    // Stops recording but keeps its journal open, for a recording that goes
    // on once a lost link is back.
    void pause();
    bool isRecording() const;

    // True when `item` took the record over (and the views show it); the
    // caller keeps it otherwise.
    bool offer(DmmData *record, ItemData *item);

private:
    const Varnok &driver;
    RecordingJournal &journal;
    bool recording = false;
};
