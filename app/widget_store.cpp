// The meter's memory: store, delete and the upload into "Store Data".
#include "widget.h"

#include "dlgdeletestore.h"
#include "dlgdownload.h"
#include "dmmdata.h"
#include "itemtree.h"
#include "itemviews.h"
#include "metersession.h"
#include "ui_widget.h"
#include "varnok.h"

void Widget::on_btnStore_clicked()
{
    session->driver().cmdSetMemoryStore();
    session->driver().cmdGetMemoryStore();
}

void Widget::on_btnStoreDelete_clicked()
{
    const int count = session->driver().getStoreParam().total;
    if (count == 0)
        return;
    DlgDeleteStore dialog(1, count, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    session->driver().cmdMemoryDelete(dialog.index());
    session->driver().cmdGetMemoryStore();
}

void Widget::on_btnStoreDownload_clicked()
{
    on_actionItemDownload_triggered();
}

void Widget::on_actionItemDownload_triggered()
{
    if (!session->driver().actived())
        return;
    items->storeItem()->clearDatas();
    itemSetToActive(items->storeIndex());
    session->driver().startGetAllStore();

    DlgDownload dialog(this);
    dialog.setWindowTitle(QStringLiteral("Downloading..."));
    connect(this, &Widget::updateDowndPos, &dialog, &DlgDownload::updatePos);
    // A lost link brings no more progress: the dialog ends with it, and the
    // readings that arrived stay.
    connect(&session->driver(), &Dmm::closed, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        session->driver().stopGetStore();
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
