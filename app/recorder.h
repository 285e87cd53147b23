#pragma once

#include <QString>

class DmmData;
class ItemData;
class ItemViews;
class Varnok;

// Decides for each live reading whether the active item keeps it: only
// while recording, below the item's sample-point limit, and never a reading
// without a value. A change of either line's function starts the item anew.
class Recorder
{
public:
    Recorder(const Varnok &driver, ItemViews &views);

    bool isRecording() const;
    void setRecording(bool on);

    // True when `item` took the record over (and the views show it); the
    // caller keeps it otherwise.
    bool offer(DmmData *record, ItemData *item);

private:
    const Varnok &driver;
    ItemViews &views;
    bool recording = false;
    // The functions of the last reading seen while recording, for all items.
    QString lastFunction1;
    QString lastFunction2;
};
