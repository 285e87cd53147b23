// Journals: the files the recordings are written to, brought back after a
// crash or opened as items.
#include "widget.h"

#include "dlgrestore.h"
#include "dmmdata.h"
#include "itemtree.h"
#include "journalreader.h"
#include "journalrecovery.h"
#include "recorder.h"
#include "recordingjournal.h"
#include "tessaly.h"
#include "tvitemmodel.h"
#include "ui_widget.h"
#include "varnok.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

// Reads a journal on a thread of its own while the window's event loop goes
// on (a week's log takes seconds, and the meter's link needs the loop); the
// user's input waits meanwhile, and a busy box shows when it takes longer.
JournalContents readJournal(QWidget *window, const QString &path)
{
    QProgressDialog busy(QCoreApplication::translate("Widget", "Reading %1...").arg(QFileInfo(path).fileName()),
                         QString(), 0, 0, window);
    busy.setWindowTitle(QString());
    busy.setWindowModality(Qt::ApplicationModal);
    busy.setMinimumDuration(0);
    busy.hide();
    QTimer::singleShot(500, &busy, &QWidget::show);
    JournalContents contents;
    std::atomic<bool> done{false};
    QThread *windowThread = QThread::currentThread();
    std::thread reader([&] {
        contents = JournalReader::read(path);
        // The records are the window's from here on.
        for (const std::unique_ptr<DmmData> &record : contents.records)
            record->moveToThread(windowThread);
        done = true;
        QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection); // wakes the loop below
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    reader.join();
    return contents;
}

} // namespace

void Widget::initJournal()
{
    journal = std::make_unique<RecordingJournal>([this] {
        JournalHeader header;
        header.program = QStringLiteral("dmmpanel");
        const USB *usb = driver->actived() ? transport->usb() : nullptr;
        header.resource = usb ? usb->resource : QString();
        header.simulated = usb && transport->isInProcess();
        header.sampleRateMs = driver->getSampleRate();
        header.samplePoints = driver->getSamplePoints();
        header.unlimited = driver->getOptInifinite();
        return header;
    });
    connect(journal.get(), &RecordingJournal::message, this, &Widget::slotMessage);
}

void Widget::offerRestore()
{
    const QString folder = RecordingJournal::folder();
    // Only what could be read is offered, and only what is offered is closed.
    QList<JournalSummary> summaries;
    for (const QString &path : JournalRecovery::unclosedJournals(folder)) {
        JournalSummary summary = JournalReader::summarize(path);
        if (summary.error.isEmpty())
            summaries.append(summary);
    }
    if (summaries.isEmpty())
        return;
    DlgRestore dialog(summaries, folder, this);
    const bool restore = dialog.exec() == QDialog::Accepted;

    QModelIndex restored;
    for (const JournalSummary &summary : summaries) {
        if (restore) {
            JournalContents contents = readJournal(this, summary.path);
            if (!contents.error.isEmpty()) {
                // Left open, to be offered again.
                slotMessage(contents.error);
                continue;
            }
            const QString name = contents.header.itemName.isEmpty() ? QFileInfo(summary.path).completeBaseName()
                                                                     : contents.header.itemName;
            restored = addJournalItem(tr("%1 (restored)").arg(name), contents);
        }
        // Offered once: closed now as its writer would have closed it.
        if (!JournalRecovery::closeAfterCrash(summary.path))
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
    JournalContents contents = readJournal(this, path);
    if (!contents.error.isEmpty()) {
        QMessageBox::information(this, QString(), contents.error);
        return;
    }
    showItem(addJournalItem(QFileInfo(path).completeBaseName(), contents));
}

QModelIndex Widget::addJournalItem(const QString &name, JournalContents &contents)
{
    const QModelIndex index = items->appendMeasureItem(name);
    ItemData *item = TvItemModel::nodeItem(index);
    for (std::unique_ptr<DmmData> &record : contents.records)
        item->appendData(record.release());
    return index;
}

void Widget::showItem(const QModelIndex &index)
{
    itemSetToActive(index);
    ui->tvItems->setCurrentIndex(index);
    showItemBtn(index, QModelIndex());
}
