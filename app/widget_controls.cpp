// The control panel's signals arrive here and go on to the panel.
#include "widget.h"

#include "controlpanel.h"
#include "ui_widget.h"

void Widget::on_cbbCH1Range_currentIndexChanged(int)
{
    controlPanel->rangeIndexChanged(1);
}

void Widget::on_cbbCH1Range_activated(int)
{
    controlPanel->rangeActivated(1);
}

void Widget::on_cbbCH2Range_currentIndexChanged(int)
{
    controlPanel->rangeIndexChanged(2);
}

void Widget::on_cbbCH2Range_activated(int)
{
    controlPanel->rangeActivated(2);
}

void Widget::on_cbbLine1CH_activated(int index)
{
    controlPanel->lineChannelActivated(1, index);
}

void Widget::on_cbbLine2CH_activated(int index)
{
    controlPanel->lineChannelActivated(2, index);
}

void Widget::on_cbbLine1Function_activated(int index)
{
    controlPanel->lineFunctionActivated(1, index);
}

void Widget::on_cbbLine2Function_activated(int index)
{
    controlPanel->lineFunctionActivated(2, index);
}

void Widget::on_cbbRate_activated(int)
{
    controlPanel->rateActivated();
}

void Widget::on_spinCH1DB_editingFinished()
{
    controlPanel->dbReferenceEdited(*ui->spinCH1DB);
}

void Widget::on_spinCH2DB_editingFinished()
{
    controlPanel->dbReferenceEdited(*ui->spinCH2DB);
}

void Widget::on_spinCH1DBM_editingFinished()
{
    controlPanel->dbmReferenceEdited(*ui->spinCH1DBM);
}

void Widget::on_spinCH2DBM_editingFinished()
{
    controlPanel->dbmReferenceEdited(*ui->spinCH2DBM);
}

void Widget::on_btnRelState_clicked(bool checked)
{
    controlPanel->relClicked(checked);
}

void Widget::on_btnHold_clicked(bool checked)
{
    controlPanel->holdClicked(checked);
}

void Widget::on_btnHoldOption_clicked()
{
    controlPanel->holdOptionsClicked();
}

void Widget::on_btnPercentState_clicked(bool checked)
{
    controlPanel->percentClicked(checked);
}

void Widget::on_spinPercentRef_editingFinished()
{
    controlPanel->percentReferenceEdited();
}

void Widget::on_btnMaxMin_clicked(bool checked)
{
    controlPanel->maxMinClicked(checked);
}

void Widget::on_btnCompareState_clicked(bool checked)
{
    controlPanel->compareClicked(checked);
}

void Widget::on_spinCompareLower_editingFinished()
{
    controlPanel->compareLowerEdited();
}

void Widget::on_spinCompareUpper_editingFinished()
{
    controlPanel->compareUpperEdited();
}

void Widget::on_cbbTriggerSource_currentIndexChanged(int)
{
    controlPanel->triggerSourceIndexChanged();
}

void Widget::on_cbbTriggerSource_activated(int index)
{
    controlPanel->triggerSourceActivated(index);
}

void Widget::on_btnCH1Float_clicked(bool checked)
{
    controlPanel->floatClicked(*ui->btnCH1Float, checked);
}

void Widget::on_btnCH2Float_clicked(bool checked)
{
    controlPanel->floatClicked(*ui->btnCH2Float, checked);
}
