// Journals: the files the recordings are written to, brought back after a
// crash or opened as items.
#include "widget.h"

#include "dlgrestore.h"
#include "dmmdata.h"
#include "itemtree.h"
#include "journalloading.h"
#include "journalreader.h"
#include "journalrecovery.h"
#include "recordingjournal.h"
#include "tvitemmodel.h"
#include "ui_widget.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

void Widget::offerRestore()
{
    const QString folder = RecordingJournal::folder();
    // Only what could be read is offered, and only what is offered is closed.
    QList<JournalSummary> summaries;
    for (const QString &path : JournalRecovery::unclosedJournals(folder)) {
        JournalSummary summary = summarizeJournal(this, path);
        if (summary.error.isEmpty())
            summaries.append(summary);
    }
    if (summaries.isEmpty())
        return;
    DlgRestore dialog(summaries, folder, this);
    const bool restore = dialog.exec() == QDialog::Accepted;

    QModelIndex restored;
    for (const JournalSummary &summary : summaries) {
        // Offered once: closed now as its writer would have closed it.
        bool closed = false;
        const auto close = [&closed, &summary] { closed = JournalRecovery::closeAfterCrash(summary); };
        if (restore) {
            // Closed once read whole, before the binary file of its readings
            // is written, so the file matches the closed journal.
            LoadedJournal loaded = loadJournal(this, summary.path, close);
            if (!loaded.store) {
                // Left open, to be offered again: unreadable, or the reading cancelled.
                if (!loaded.load.error.isEmpty())
                    slotMessage(loaded.load.error);
                continue;
            }
            const QString name = loaded.load.header.itemName.isEmpty() ? QFileInfo(summary.path).completeBaseName()
                                                                        : loaded.load.header.itemName;
            restored = addJournalItem(tr("%1 (restored)").arg(name), loaded.load.header, std::move(loaded.store));
        } else {
            close();
        }
        if (!closed)
            slotMessage(tr("The journal %1 could not be closed; it will be offered again.").arg(summary.path));
    }
    if (restored.isValid())
        showItem(restored);
}

void Widget::on_actionItemOpen_triggered()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open a journal"), RecordingJournal::folder(),
                                                      tr("CSV table (*.csv)"));
    if (!path.isEmpty())
        openJournal(path);
}

void Widget::openJournal(const QString &path)
{
    LoadedJournal loaded = loadJournal(this, path);
    if (!loaded.load.error.isEmpty()) {
        QMessageBox::information(this, QString(), loaded.load.error);
        return;
    }
    if (loaded.store)
        showItem(addJournalItem(QFileInfo(path).completeBaseName(), loaded.load.header, std::move(loaded.store)));
}

QModelIndex Widget::addJournalItem(const QString &name, const JournalHeader &header,
                                   std::shared_ptr<ReadingStore> readings)
{
    const QModelIndex index = items->appendMeasureItem(name);
    ItemData *item = TvItemModel::nodeItem(index);
    item->setOrigin(header);
    item->setStore(std::move(readings));
    return index;
}

void Widget::showItem(const QModelIndex &index)
{
    itemSetToActive(index);
    ui->tvItems->setCurrentIndex(index);
    showItemBtn(index, QModelIndex());
}
