#include "livedisplay.h"

#include "dmmdata.h"
#include "maxminformat.h"
#include "ui_widget.h"
#include "varnok.h"

namespace {

// Setting a style sheet re-polishes the widget, even to the same text.
void setStyle(QWidget *widget, const QString &style)
{
    if (widget->styleSheet() != style)
        widget->setStyleSheet(style);
}

// The unit of a display line in alarm is followed by the mark.
QString withAlarmMark(QString unit, bool on)
{
    static const QString mark = QStringLiteral(" ALARM");
    if (unit.endsWith(mark))
        unit.chop(mark.size());
    return on ? unit + mark : unit;
}

QString padded(const QString &text)
{
    return QStringLiteral(" %1 ").arg(text);
}

} // namespace

LiveDisplay::LiveDisplay(Ui::Widget &ui) : ui(ui)
{
    // Shown only while the meter reports them on.
    ui.lcdRel->hide();
    ui.lcdHold->hide();
    setLive(false);
}

void LiveDisplay::setLive(bool live)
{
    ui.lcd->setEnabled(live);
}

void LiveDisplay::setAlarm(int line, bool on)
{
    alarm[line] = on;
    const QString style = on ? QStringLiteral("color: rgb(255, 0, 0);") : QString();
    QLabel *unit = line == 0 ? ui.lcdLIne1Unit : ui.lcdLIne2Unit;
    setStyle(line == 0 ? ui.lcdLine1Value : ui.lcdLine2Value, style);
    setStyle(unit, style);
    unit->setText(withAlarmMark(unit->text(), on));
}

void LiveDisplay::show(const DmmData &record)
{
    showLines(record);
    showFrequencies(record);
    showIndicators(record);
    showPercent(record);
    showMaxMin(record);
    showCompare(record);
}

void LiveDisplay::showLines(const DmmData &record)
{
    // Line i's reading sits at position i of its channel's lists.
    const ChannelData *line1 = record.lines[0]->channel;
    const ChannelData *line2 = record.lines[1]->channel;
    ui.lcdLine1Ch->setText(QStringLiteral("CH%1").arg(line1->number));
    ui.lcdLine1Value->setText(padded(line1->valueTexts[0]));
    ui.lcdLIne1Unit->setText(withAlarmMark(line1->unitTexts[0], alarm[0]));
    // Both lines on one channel: the channel is named once.
    ui.lcdLine2Ch->setText(line2->number == line1->number ? QStringLiteral("  ")
                                                            : QStringLiteral("CH%1").arg(line2->number));
    ui.lcdLine2Value->setText(padded(line2->valueTexts[1]));
    ui.lcdLIne2Unit->setText(withAlarmMark(line2->unitTexts[1], alarm[1]));
}

void LiveDisplay::showFrequencies(const DmmData &record)
{
    ui.lcdCH1Freq->setText(padded(record.channels[0]->frequencyText));
    ui.lcdCH1FreqUnit->setText(record.channels[0]->frequencyUnit);
    ui.lcdCH2Freq->setText(padded(record.channels[1]->frequencyText));
    ui.lcdCH2FreqUnit->setText(record.channels[1]->frequencyUnit);
}

void LiveDisplay::showIndicators(const DmmData &record)
{
    const LineData &states = *record.lines[0];
    ui.lcdSpeed->setText(record.rate);
    ui.lcdRel->setVisible(states.relState);
    ui.lcdHold->setVisible(states.holdState);
}

void LiveDisplay::showPercent(const DmmData &record)
{
    const LineData &states = *record.lines[0];
    if (states.percentState) {
        const DmmData::ValueMode mode = Varnok::getValueMode(states.percentValue);
        ui.lcdPercentTitle->setText(tr("Percent"));
        ui.lcdPercentValue->setText(mode != DmmData::ValueNormal ? Varnok::getValueStr(mode)
                                                                 : QString::number(states.percentValue, 'f', 2));
        ui.lcdPercentUnit->setText(QStringLiteral("%"));
        setStyle(ui.lcdPercentValue, QStringLiteral("background-color: rgb(230, 230, 230);"));
    } else {
        // Blanks of the shown texts' width keep the row's height.
        ui.lcdPercentTitle->setText(QStringLiteral("       "));
        ui.lcdPercentValue->setText(QStringLiteral("     "));
        ui.lcdPercentUnit->setText(QStringLiteral(" "));
        setStyle(ui.lcdPercentValue, QString());
    }
}

void LiveDisplay::showMaxMin(const DmmData &record)
{
    const LineData &states = *record.lines[0];
    if (!states.maxMinState) {
        ui.lcdMaxMin->setText(QString());
        return;
    }
    const MaxMinText max = formatMaxMin(states.maxValue, states);
    const MaxMinText min = formatMaxMin(states.minValue, states);
    ui.lcdMaxMin->setText(QStringLiteral("Max:%1%2  Min:%3%4").arg(max.value, max.unit, min.value, min.unit));
}

void LiveDisplay::showCompare(const DmmData &record)
{
    const QString &state = record.lines[0]->compareState;
    ui.lcdCompare->setVisible(state != QLatin1String("OFF"));
    ui.lcdCompare->setText(QStringLiteral("COMP %1").arg(state));
    setStyle(ui.lcdCompare, state == QLatin1String("IN") ? QStringLiteral("color: rgb(0,255,0);")
                                                         : QStringLiteral("color: rgb(255,0,0)"));
}
