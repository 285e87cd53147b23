#include "dlgdownload.h"

#include "ui_dlgdownload.h"

#include <QTimer>

DlgDownload::DlgDownload(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::DlgDownload>())
{
    ui->setupUi(this);
}

DlgDownload::~DlgDownload() = default;

void DlgDownload::updatePos(int total, int pos)
{
    ui->progressBar->setRange(0, total);
    ui->progressBar->setValue(pos);
    // Accepted once the signal that reported the end has been handled.
    if (pos >= total)
        QTimer::singleShot(0, this, &QDialog::accept);
}

void DlgDownload::on_btnCancel_clicked()
{
    reject();
}
