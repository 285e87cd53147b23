// Measurement items and recording: the item tree's actions, Start and Stop,
// and the views of the active item.
#include "widget.h"

#include "itemtree.h"
#include "itemviews.h"
#include "livedisplay.h"
#include "metersession.h"
#include "statisticsstrip.h"
#include "tvitemmodel.h"
#include "ui_widget.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

void Widget::on_actionStart_triggered()
{
    if (!canRecord())
        return;
    setRecording(true);
}

bool Widget::canRecord() const
{
    return activeItem && activeItem->type() == ItemData::MeasureData;
}

void Widget::on_actionStop_triggered()
{
    setRecording(false);
}

void Widget::setRecording(bool on)
{
    if (on && canRecord())
        session->startRecording(activeItem, activeItem->name());
    else
        session->stopRecording();
    showRecordingState();
}

void Widget::showRecordingState()
{
    const bool on = session->isRecording();
    ui->actionStart->setEnabled(!on && session->isOpen() && canRecord());
    ui->actionStop->setEnabled(on);
}

namespace {

// Longer names are cut in the box itself: the tree redraws every name on
// each change, and a name of tens of thousands of characters held the
// window up long enough to lose the meter.
constexpr int MaxItemNameLength = 200;

// The name typed, trimmed; empty when the box was cancelled.
QString askItemName(QWidget *parent, const QString &label, const QString &proposed)
{
    QInputDialog dialog(parent);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(QString());
    dialog.setLabelText(label);
    if (auto *edit = dialog.findChild<QLineEdit *>())
        edit->setMaxLength(MaxItemNameLength);
    dialog.setTextValue(proposed);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue().trimmed() : QString();
}

} // namespace

void Widget::newItem(const QString &name, ItemData::DataType)
{
    if (name.isEmpty())
        return;
    setRecording(false);
    showItem(items->appendMeasureItem(name));
}

void Widget::on_actionItemNew_triggered()
{
    const QString trimmed = askItemName(this, tr("Name:"), items->proposedName());
    if (!trimmed.isEmpty())
        newItem(trimmed, ItemData::MeasureData);
}

void Widget::on_actionItemDelete_triggered()
{
    const QModelIndex index = ui->tvItems->currentIndex();
    // The roots stay: "Live Data" holds the new items, "Store Data" the meter's.
    if (!index.isValid() || !index.parent().isValid())
        return;
    if (QMessageBox::question(this, QString(), tr("Are you sure delete this item?"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    const bool wasActive = TvItemModel::nodeItem(index) == activeItem;
    if (wasActive) {
        // Whatever becomes active next, if anything, is not what was recorded.
        activeItem = nullptr;
        setRecording(false);
    }
    // The views let go of a deleted item's records as it goes; the active
    // item's stay on view.
    items->remove(index);
    if (wasActive)
        itemSetToActive(ui->tvItems->currentIndex());
    // With no item active the display would freeze on the last reading.
    if (!activeItem)
        liveDisplay->setLive(false);
}

void Widget::on_actionItemRename_triggered()
{
    const QModelIndex index = ui->tvItems->currentIndex();
    if (!index.isValid() || ItemTree::isStoreNode(index))
        return;
    const QString trimmed = askItemName(this, tr("New name:"), index.data().toString());
    if (trimmed.isEmpty())
        return;
    items->rename(index, trimmed);
    setRecording(false);
}

void Widget::on_actionItemSetToActive_triggered()
{
    itemSetToActive(ui->tvItems->currentIndex());
}

void Widget::on_tvItems_activated(const QModelIndex &index)
{
    itemSetToActive(index);
}

void Widget::itemSetToActive(const QModelIndex &index)
{
    if (!index.isValid() || ItemTree::isLiveNode(index))
        return;
    ItemData *item = TvItemModel::nodeItem(index);
    if (item == activeItem)
        return;
    activeItem = item;
    items->markActive(index);
    setRecording(false);

    const bool stored = item == items->storeItem();
    // Stored readings are no settings of the meter now.
    ui->frame_2->setEnabled(!stored);
    liveDisplay->setLive(!stored && session->isOpen());
    refreshItemViews();
}

void Widget::showItemBtn(const QModelIndex &current, const QModelIndex &)
{
    if (!current.isValid())
        return;
    ui->itemToolBar->clear();
    ui->itemToolBar->addActions(itemActions(current));
}

void Widget::refreshItemViews()
{
    if (activeItem)
        views->show(*activeItem);
    statisticsStrip->setItem(activeItem);
}
