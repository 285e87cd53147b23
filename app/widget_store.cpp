// The meter's memory: store, delete and the upload into "Store Data".
#include "widget.h"

#include "dlgdeletestore.h"
#include "dlgdownload.h"
#include "dmmdata.h"
#include "itemtree.h"
#include "itemviews.h"
#include "ui_widget.h"
#include "varnok.h"

void Widget::on_btnStore_clicked()
{
    driver->cmdSetMemoryStore();
    driver->cmdGetMemoryStore();
}

void Widget::on_btnStoreDelete_clicked()
{
    const int count = driver->getStoreParam().total;
    if (count == 0)
        return;
    DlgDeleteStore dialog(1, count, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    driver->cmdMemoryDelete(dialog.index());
    driver->cmdGetMemoryStore();
}

void Widget::on_btnStoreDownload_clicked()
{
    on_actionItemDownload_triggered();
}

void Widget::on_actionItemDownload_triggered()
{
    if (!driver->actived())
        return;
    items->storeItem()->clearDatas();
    itemSetToActive(items->storeIndex());
    driver->startGetAllStore();

    DlgDownload dialog(this);
    dialog.setWindowTitle(QStringLiteral("Downloading..."));
    connect(this, &Widget::updateDowndPos, &dialog, &DlgDownload::updatePos);
    // A lost link brings no more progress: the dialog ends with it, and the
    // readings that arrived stay.
    connect(driver.get(), &Dmm::closed, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        driver->stopGetStore();
}

void Widget::slotStoreNum(int total, int num)
{
    emit updateDowndPos(total, num);
}

void Widget::slotDisplayStore(const DmmData *data)
{
    // An uploaded reading belongs to "Store Data" from here on.
    auto *record = const_cast<DmmData *>(data);
    items->storeItem()->appendData(record);
}
