#include "controlpanel.h"

#include "dmmdata.h"
#include "ui_widget.h"
#include "varnok.h"

#include <QCoreApplication>
#include <QSignalBlocker>

#include <initializer_list>

namespace {

struct ComboItem
{
    QString text;
    QVariant data;
};

// Filling arms no change flag: nothing has been shown yet.
void fillCombo(QComboBox *combo, std::initializer_list<ComboItem> items)
{
    const QSignalBlocker quiet(combo);
    for (const ComboItem &item : items)
        combo->addItem(item.text, item.data);
}

QString onOff(bool on)
{
    return on ? QCoreApplication::translate("ControlPanel", "ON") : QCoreApplication::translate("ControlPanel", "OFF");
}

void showSwitch(QAbstractButton *button, bool on)
{
    button->setChecked(on);
    button->setText(onOff(on));
}

// Selects the first item whose data is `data`; none leaves the box as it is.
void selectByData(QComboBox *combo, const QString &data)
{
    const int index = combo->findData(data, Qt::UserRole, Qt::MatchExactly);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

void selectByText(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text, Qt::MatchExactly);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

// A value being typed is not overwritten by readings.
void followUnlessEdited(QDoubleSpinBox *spin, double value)
{
    if (!spin->hasFocus() && spin->value() != value)
        spin->setValue(value);
}

} // namespace

ControlPanel::ControlPanel(Ui::Widget &ui, Varnok &driver, QWidget *dialogParent)
    : ui(ui), driver(driver), holdOptionDialog(dialogParent)
{
    for (QComboBox *range : {ui.cbbCH1Range, ui.cbbCH2Range}) {
        // The meter is sent the lower value; it answers with the shown one.
        fillCombo(range, {{"AUTO", "AUTO"}, {"3.8mV", "3.7mV"}, {"38mV", "37mV"}, {"380mV", "370mV"},
                          {"3.8V", "3.7V"}, {"38V", "37V"}, {"380V", "370V"}});
    }
    for (QComboBox *channel : {ui.cbbLine1CH, ui.cbbLine2CH})
        fillCombo(channel, {{"CH1", {}}, {"CH2", {}}});
    for (QComboBox *function : {ui.cbbLine1Function, ui.cbbLine2Function}) {
        fillCombo(function, {{"VOLT", "VOLT"}, {"VPP", "VPP"}, {"WATT", "WATT"}, {"DB", "DB"},
                             {"DBm", "DBM"}, {QStringLiteral("DB\u03bcV"), "DBUV"}, {"DBmV", "DBMV"},
                             {"DBV", "DBV"}});
    }
    fillCombo(ui.cbbRate, {{"FAST", {}}, {"MED", {}}, {"SLOW", {}}});
    fillCombo(ui.cbbTriggerSource, {{"IMM", "IMM"}, {"MAN", "MAN"}, {"BUS", "BUS"}});
}

QComboBox *ControlPanel::rangeBox(int channel) const
{
    return channel == 1 ? ui.cbbCH1Range : ui.cbbCH2Range;
}

void ControlPanel::rangeIndexChanged(int channel)
{
    (channel == 1 ? ch1RangeChanged : ch2RangeChanged) = true;
}

void ControlPanel::rangeActivated(int channel)
{
    bool &changed = channel == 1 ? ch1RangeChanged : ch2RangeChanged;
    if (!changed)
        return;
    changed = false;
    const QComboBox *box = rangeBox(channel);
    const int index = box->currentIndex();
    // The shown range is not what the meter is sent (380mV goes as 370mV).
    const QString range = index == 0 ? QStringLiteral("AUTO") : box->itemData(index).toString();
    driver.cmdChangeRange(channel, range);
    driver.cmdGetRange(channel);
}

void ControlPanel::triggerSourceIndexChanged()
{
    triggerSourceChanged = true;
}

void ControlPanel::triggerSourceActivated(int index)
{
    if (!triggerSourceChanged)
        return;
    triggerSourceChanged = false;
    driver.cmdSetTriggerSource(ui.cbbTriggerSource->itemData(index).toString());
    driver.cmdGetTriggerSrouce();
}

void ControlPanel::lineChannelActivated(int line, int index)
{
    // An empty function keeps the meter's function for that channel.
    driver.cmdChangeFunction(line, index + 1, QString());
    driver.cmdGetFunction(line);
}

void ControlPanel::lineFunctionActivated(int line, int index)
{
    const QComboBox *channel = line == 1 ? ui.cbbLine1CH : ui.cbbLine2CH;
    const QComboBox *function = line == 1 ? ui.cbbLine1Function : ui.cbbLine2Function;
    driver.cmdChangeFunction(line, channel->currentIndex() + 1, function->itemData(index).toString());
    driver.cmdGetFunction(line);
}

void ControlPanel::rateActivated()
{
    driver.cmdChangeRate(ui.cbbRate->currentText());
    driver.cmdGetRate();
}

void ControlPanel::dbReferenceEdited(const QDoubleSpinBox &spin)
{
    const int channel = spin.property("CH").toInt();
    driver.cmdSetDBRef(channel, spin.value());
    driver.cmdGetDBRef(channel);
}

void ControlPanel::dbmReferenceEdited(const QDoubleSpinBox &spin)
{
    const int channel = spin.property("CH").toInt();
    driver.cmdSetDBMRef(channel, spin.value());
    driver.cmdGetDBMRef(channel);
}

void ControlPanel::relClicked(bool checked)
{
    driver.cmdSetRelState(checked);
    driver.cmdGetRelState();
}

void ControlPanel::holdClicked(bool checked)
{
    driver.cmdSetHold(checked);
    driver.cmdGetHoldState();
}

void ControlPanel::holdOptionsClicked()
{
    if (holdOptionDialog.exec() == QDialog::Accepted) {
        driver.cmdSetHoldWindow(holdOptionDialog.window());
        driver.cmdGetHoldWindow();
        driver.cmdSetHoldCount(holdOptionDialog.count());
        driver.cmdGetHoldCount();
        // Until the next reading shows what the meter took.
        ui.btnHoldOption->setEnabled(false);
    }
    holdOptionDialog.hide();
}

void ControlPanel::percentClicked(bool checked)
{
    driver.cmdSetPercentState(checked);
    driver.cmdGetPercentState();
}

void ControlPanel::percentReferenceEdited()
{
    driver.cmdSetPercentRef(ui.spinPercentRef->value());
    driver.cmdGetPercentRef();
}

void ControlPanel::maxMinClicked(bool checked)
{
    driver.cmdSetMaxMinState(checked);
    driver.cmdGetMaxMinState();
}

void ControlPanel::compareClicked(bool checked)
{
    driver.cmdSetCompareState(checked);
    driver.cmdGetCompareState();
}

void ControlPanel::compareLowerEdited()
{
    driver.cmdSetCompareLower(ui.spinCompareLower->value());
    driver.cmdGetCompareLower();
}

void ControlPanel::compareUpperEdited()
{
    driver.cmdSetCompareUpper(ui.spinCompareUpper->value());
    driver.cmdGetCompareUpper();
}

void ControlPanel::floatClicked(const QAbstractButton &button, bool checked)
{
    const int channel = button.property("CH").toInt();
    driver.cmdSetFloat(channel, checked);
    driver.cmdGetFloat(channel);
}

void ControlPanel::follow(const DmmData &record)
{
    followLines(record);
    followChannels(record);
    followMeterStates(record);
}

void ControlPanel::followLines(const DmmData &record)
{
    // Line i's function sits at position i of its channel's lists.
    const ChannelData *line1 = record.lines[0]->channel;
    const ChannelData *line2 = record.lines[1]->channel;
    ui.cbbLine1CH->setCurrentIndex(line1->number - 1);
    selectByData(ui.cbbLine1Function, line1->functions[0]);
    ui.cbbLine2CH->setCurrentIndex(line2->number - 1);
    selectByData(ui.cbbLine2Function, line2->functions[1]);
}

void ControlPanel::followChannels(const DmmData &record)
{
    for (int i = 0; i < 2; ++i) {
        const ChannelData *channel = record.channels[i];
        QComboBox *range = rangeBox(i + 1);
        if (channel->rangeMode.toUpper() == QLatin1String("AUTO"))
            range->setCurrentIndex(0);
        else
            selectByText(range, channel->rangeValue + channel->rangeUnit);
    }
    followUnlessEdited(ui.spinCH1DB, record.channels[0]->dbReference);
    followUnlessEdited(ui.spinCH2DB, record.channels[1]->dbReference);
    followUnlessEdited(ui.spinCH1DBM, record.channels[0]->dbmReference);
    followUnlessEdited(ui.spinCH2DBM, record.channels[1]->dbmReference);
    selectByText(ui.cbbRate, record.rate);
    showSwitch(ui.btnCH1Float, record.channels[0]->floating);
    showSwitch(ui.btnCH2Float, record.channels[1]->floating);
}

void ControlPanel::followMeterStates(const DmmData &record)
{
    // The meter-wide settings are kept in the first line.
    const LineData &states = *record.lines[0];
    showSwitch(ui.btnRelState, states.relState);
    showSwitch(ui.btnHold, states.holdState);
    // While the dialog is open the user's choice is left alone.
    if (holdOptionDialog.isHidden()) {
        holdOptionDialog.setWindow(states.holdWindow);
        holdOptionDialog.setCount(states.holdCount);
    }
    ui.btnHoldOption->setEnabled(true);
    followUnlessEdited(ui.spinPercentRef, states.percentReference);
    showSwitch(ui.btnPercentState, states.percentState);
    showSwitch(ui.btnMaxMin, states.maxMinState);
    followUnlessEdited(ui.spinCompareLower, states.compareLower);
    followUnlessEdited(ui.spinCompareUpper, states.compareUpper);
    showSwitch(ui.btnCompareState, states.compareState != QLatin1String("OFF"));
    selectByData(ui.cbbTriggerSource, record.triggerSource);
}
