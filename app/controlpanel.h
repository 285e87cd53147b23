#pragma once

#include "dlgholdoption.h"

class DmmData;
class QAbstractButton;
class QComboBox;
class QDoubleSpinBox;
class Varnok;

namespace Ui {
class Widget;
}

// The control panel: each control sends its setting through the driver and
// queues the matching query at once, so that the meter's answer comes back in
// the next reading; follow() then sets the controls to what the meter took.
// The panel keeps no copy of the meter's state.
class ControlPanel
{
public:
    ControlPanel(Ui::Widget &ui, Varnok &driver, QWidget *dialogParent);

    // The shown range or trigger source changed, by the user or a reading:
    // the next activation is sent even if it picks the item now shown.
    void rangeIndexChanged(int channel);
    void rangeActivated(int channel);
    void triggerSourceIndexChanged();
    void triggerSourceActivated(int index);

    void lineChannelActivated(int line, int index);
    void lineFunctionActivated(int line, int index);
    void rateActivated();
    void dbReferenceEdited(const QDoubleSpinBox &spin);
    void dbmReferenceEdited(const QDoubleSpinBox &spin);
    void relClicked(bool checked);
    void holdClicked(bool checked);
    void holdOptionsClicked();
    void percentClicked(bool checked);
    void percentReferenceEdited();
    void maxMinClicked(bool checked);
    void compareClicked(bool checked);
    void compareLowerEdited();
    void compareUpperEdited();
    void floatClicked(const QAbstractButton &button, bool checked);

    // Brings every control in line with a reading.
    void follow(const DmmData &record);

private:
    QComboBox *rangeBox(int channel) const;
    void followLines(const DmmData &record);
    void followChannels(const DmmData &record);
    void followMeterStates(const DmmData &record);

    Ui::Widget &ui;
    Varnok &driver;
    DlgHoldOption holdOptionDialog;
    bool ch1RangeChanged = false;
    bool ch2RangeChanged = false;
    bool triggerSourceChanged = false;
};
