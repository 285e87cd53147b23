#include "dlgdeletestore.h"

#include "ui_dlgdeletestore.h"

DlgDeleteStore::DlgDeleteStore(int minimum, int maximum, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::DlgDeleteStore>())
{
    ui->setupUi(this);
    ui->spIndex->setRange(minimum, maximum);
    setWindowTitle(QStringLiteral("%1").arg(tr("Delete Stored Data")));
    ui->label->setText(QStringLiteral("%1:(%2-%3)").arg(tr("Index")).arg(minimum).arg(maximum));
}

DlgDeleteStore::~DlgDeleteStore() = default;

int DlgDeleteStore::index() const
{
    return ui->cbAll->isChecked() ? 0 : ui->spIndex->value();
}

void DlgDeleteStore::on_cbAll_toggled(bool checked)
{
    ui->spIndex->setEnabled(!checked);
}
