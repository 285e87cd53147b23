#pragma once

class DmmData;
class ItemData;
class MeterSession;

// Decides for each live reading whether the item being recorded keeps it:
// only while the session records into that very item, below the item's
// sample-point limit, and never a reading without a value. A reading whose
// function on either line differs from the item's own last reading starts
// the item anew, and its journal with it. Each reading kept goes to the
// session, which writes it to the recording's journal.
class Recorder
{
public:
    explicit Recorder(MeterSession &session);

    // True when `item` took the record over; the caller keeps it otherwise.
    bool offer(DmmData *record, ItemData *item);

private:
    MeterSession &session;
};
