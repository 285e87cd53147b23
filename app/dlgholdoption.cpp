#include "dlgholdoption.h"

#include "ui_dlgholdoption.h"

DlgHoldOption::DlgHoldOption(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::DlgHoldOption>())
{
    ui->setupUi(this);
    ui->cbbWindow->addItem(QStringLiteral("0.01"), 0.01);
    ui->cbbWindow->addItem(QStringLiteral("0.1"), 0.1);
    ui->cbbWindow->addItem(QStringLiteral("1"), 1.0);
    ui->cbbWindow->addItem(QStringLiteral("10"), 10.0);
}

DlgHoldOption::~DlgHoldOption() = default;

double DlgHoldOption::window() const
{
    return ui->cbbWindow->currentText().toDouble();
}

void DlgHoldOption::setWindow(double w)
{
    for (int i = 0; i < ui->cbbWindow->count(); ++i) {
        if (ui->cbbWindow->itemData(i).toDouble() == w) {
            ui->cbbWindow->setCurrentIndex(i);
            return;
        }
    }
}

int DlgHoldOption::count() const
{
    return ui->spinCount->value();
}

void DlgHoldOption::setCount(int n)
{
    ui->spinCount->setValue(n);
}
