#include "widget.h"

#include "controlpanel.h"
#include "dmmdata.h"
#include "datamodel.h"
#include "exporter.h"
#include "readingstore.h"
#include "itemdata.h"
#include "itemtree.h"
#include "itemviews.h"
#include "linktexts.h"
#include "livedisplay.h"
#include "manuallocation.h"
#include "metersession.h"
#include "optiondialog.h"
#include "recordedreadingsfile.h"
#include "recorder.h"
#include "recordingjournal.h"
#include "tessaly.h"
#include "ui_widget.h"
#include "varnok.h"
#include "xlsconverter.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QUrl>


// Resources of a static library register only when asked to.
static void initImageResources()
{
    Q_INIT_RESOURCE(images);
}

namespace {

// Room left above the window for a title bar the window manager adds.
constexpr int TitleBarAllowance = 40;

} // namespace

Widget::Widget(QWidget *parent, const QString &optionsPath)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::Widget>()),
      optionsFile(optionsPath.isEmpty() ? OptionsFile::defaultPath() : optionsPath)
{
    initImageResources();
    ui->setupUi(this);
    initStatistics(); // before the first item is shown
    initObj();
    initWidget();
    initSelf();
    initConnec();
    initAlarms();
    restoreSettings();
}

Widget::~Widget()
{
    // The driver may still announce closed() while it goes, and a deleted
    // item ends its recording; the window's slots must not run on a
    // half-destroyed window.
    session->driver().disconnect(this);
    session->disconnect(this);
    session->stopRecording();
    recorder.reset();
    controlPanel.reset();
}

void Widget::initObj()
{
    XlsConverter::removeStaleWorkFolders();
    session = std::make_unique<MeterSession>(QStringLiteral("dmmpanel"));
    setJournalEnabled(true);
}

void Widget::initWidget()
{
    liveDisplay = std::make_unique<LiveDisplay>(*ui);
    controlPanel = std::make_unique<ControlPanel>(*ui, session->driver(), this);
    views = std::make_unique<ItemViews>(ui->tv, ui->chart, ui->Histogram1);
    views->setUpCharts(ui->tabWidget, ui->tab_2);
    recorder = std::make_unique<Recorder>(*session);
    initItemTree();
    ui->tvItems->installEventFilter(this);
    ui->tv->installEventFilter(this);
    ui->listWidget->installEventFilter(this);
    // The message list shows only while it has something to say, and a
    // long message is wrapped rather than cut.
    ui->listWidget->hide();
    ui->listWidget->setWordWrap(true);
    initStatusBar();

    auto *spacer = new QWidget(ui->mainToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ui->mainToolBar->insertWidget(ui->actionClose, spacer);

    // Extra width goes to the data views, extra height to the tabs.
    ui->splitter_2->setStretchFactor(1, 1);
    ui->splitter->setStretchFactor(0, 1);

    for (QWidget *control : ui->frame_2->findChildren<QComboBox *>())
        control->installEventFilter(this);
    for (QWidget *control : ui->frame_2->findChildren<QAbstractSpinBox *>())
        control->installEventFilter(this);
    // The left column scrolls only vertically: never narrower than its
    // content, filled combo boxes included.
    ui->leftScroll->setMinimumWidth(ui->widget_2->minimumSizeHint().width()
                                    + ui->leftScroll->verticalScrollBar()->sizeHint().width());
}

void Widget::initStatusBar()
{
    linkLabel = new QLabel(ui->statusBar);
    // A long resource name is cut rather than widening the window.
    linkLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    linkLabel->setObjectName(QStringLiteral("label_link"));
    ui->statusBar->addWidget(linkLabel, 1);
    showLinkState(false);
}

void Widget::showLinkState(bool connected)
{
    const USB *usb = connected ? session->transport().usb() : nullptr;
    const QString text = LinkTexts::state(usb ? usb->resource : QString(), session->transport().isInProcess());
    linkLabel->setText(text);
    linkLabel->setToolTip(text);
}

void Widget::initItemTree()
{
    items = std::make_unique<ItemTree>(ui->tvItems);
    connect(ui->tvItems->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &Widget::showItemBtn);
    const QModelIndex first = items->firstMeasureIndex();
    itemSetToActive(first);
    ui->tvItems->setCurrentIndex(first);
    showItemBtn(first, QModelIndex());
}

void Widget::initSelf()
{
    setWindowTitle(tr("%1 v%2 ").arg(MeterSession::ModelName, QStringLiteral(DMMPANEL_VERSION)));
    // Tall enough to show the left column without scrolling where the screen
    // allows; on a short screen the column scrolls instead of being cut off.
    const int columnHeight = ui->widget_2->minimumSizeHint().height();
    int height = qMax(600, minimumSizeHint().height() - ui->splitter_2->minimumSizeHint().height() + columnHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        height = qMin(height, desk.height() - TitleBarAllowance);
        resize(1000, height);
        // Centred, the title bar on the screen.
        move(desk.x() + qMax(0, (desk.width() - width()) / 2), desk.y() + qMax(0, (desk.height() - height) / 2));
    } else {
        resize(1000, height);
    }
}

void Widget::initConnec()
{
    Varnok *driver = &session->driver();
    connect(driver, &Dmm::opened, this, &Widget::slotDmmOpened);
    connect(driver, &Dmm::closed, this, &Widget::slotDmmClosed);
    connect(driver, &Dmm::message, this, &Widget::slotMessage);
    connect(driver, &Dmm::display, this, &Widget::slotDmmDisplay);
    connect(driver, &Varnok::storeNum, this, &Widget::slotStoreNum);
    connect(driver, &Varnok::displayStore, this, &Widget::slotDisplayStore);
    // Queued: the window closes the driver and shows a box only after the
    // driver has finished the command that reported the loss.
    connect(driver, &Varnok::remoteStateUpdate, this, &Widget::slotDmmRemoteStateUpdate, Qt::QueuedConnection);
    // A loss that the reconnect takes on is told by slotLinkLost instead,
    // once however often the reopened link fails.
    connect(session.get(), &MeterSession::linkDropped, this, &Widget::slotDmmCommunicationTimeout);
    connect(session.get(), &MeterSession::linkLost, this, &Widget::slotLinkLost);
    connect(session.get(), &MeterSession::linkRestored, this, &Widget::slotLinkRestored);
    connect(session.get(), &MeterSession::recordingChanged, this, &Widget::showRecordingState);
    connect(session.get(), &MeterSession::message, this, &Widget::slotMessage);
    // A long recording is kept on disk beside its journal, not in memory.
    new RecordedReadingsFile(*session, this);
    for (QAction *action : {ui->actionConnect, ui->actionDisconnect, ui->actionOption, ui->actionClose})
        connect(action, &QAction::triggered, this, &Widget::slotAction);
}

bool Widget::eventFilter(QObject *obj, QEvent *event)
{
    if (event->type() == QEvent::Wheel && isUnfocusedPanelControl(obj)) {
        // Scrolling the left column over a control must not change a meter
        // setting: the wheel scrolls the column instead.
        QCoreApplication::sendEvent(ui->leftScroll->viewport(), event);
        return true;
    }
    if (event->type() != QEvent::ContextMenu)
        return QMainWindow::eventFilter(obj, event);

    const QPoint globalPos = static_cast<QContextMenuEvent *>(event)->globalPos();
    if (obj == ui->tv)
        return false;
    if (obj == ui->listWidget) {
        auto *menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(ui->actionClearMsg);
        menu->exec(globalPos);
    } else if (obj == ui->tvItems) {
        const QModelIndex index = ui->tvItems->currentIndex();
        if (!index.isValid())
            return QMainWindow::eventFilter(obj, event);
        auto *menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addActions(itemActions(index));
        menu->exec(globalPos);
    }
    return QMainWindow::eventFilter(obj, event);
}

bool Widget::isUnfocusedPanelControl(QObject *obj) const
{
    auto *control = qobject_cast<QWidget *>(obj);
    return control && !control->hasFocus() && ui->frame_2->isAncestorOf(control)
           && (qobject_cast<QComboBox *>(control) || qobject_cast<QAbstractSpinBox *>(control));
}

QList<QAction *> Widget::itemActions(const QModelIndex &index) const
{
    if (index.parent().isValid())
        return {ui->actionItemSetToActive, ui->actionItemRename, ui->actionItemNew, ui->actionItemDelete,
                ui->actionItemOpen};
    if (ItemTree::isStoreNode(index))
        return {ui->actionItemSetToActive, ui->actionItemDownload};
    return {ui->actionItemNew, ui->actionItemOpen};
}

QMenu *Widget::createPopupMenu()
{
    return nullptr;
}

void Widget::closeEvent(QCloseEvent *event)
{
    closeLink();
    saveSettings();
    QMainWindow::closeEvent(event);
}

void Widget::slotAction()
{
    const auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    if (action == ui->actionConnect) {
        if (!session->open()) {
            slotMessage(session->openFailureText());
            QMessageBox::critical(this, QString(), tr("Failed to open device."));
        }
    } else if (action == ui->actionDisconnect) {
        closeLink();
    } else if (action == ui->actionOption) {
        runOptionDialog();
    } else if (action == ui->actionClose) {
        close();
    }
}

void Widget::closeLink()
{
    // While the driver lets its last command go out, the window takes no
    // input, so that no dialog or command lands on a link that is half
    // closed. A close by the user ends a reconnect and the recording too.
    endReconnect();
    setEnabled(false);
    session->close();
    setEnabled(true);
}

void Widget::slotDmmOpened()
{
    ui->actionConnect->setEnabled(false);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    ui->actionStart->setEnabled(canRecord());
    ui->actionStop->setEnabled(false);
    ui->actionSyncTime->setEnabled(true);
    showLinkState(true);
}

void Widget::slotDmmClosed()
{
    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    // The session has stopped the recording, or paused it for a reconnect
    // that may bridge the loss in the same journal.
    liveDisplay->setLive(false);
    ui->actionStart->setEnabled(false);
    ui->actionStop->setEnabled(false);
    ui->actionSyncTime->setEnabled(false);
    showLinkState(false);
}

void Widget::slotMessage(const QString &msg)
{
    ui->listWidget->addItem(msg);
    ui->listWidget->show();
    ui->listWidget->scrollToBottom();
}

void Widget::slotDmmDisplay(const DmmData *data)
{
    // The reading belongs to the window from here on.
    std::unique_ptr<const DmmData> record(data);
    // A stored item on view: the panel stays as it was.
    if (!activeItem || activeItem->type() != ItemData::MeasureData)
        return;
    // A line the meter never said the channel of has nothing to show.
    if (!record->lines[0]->channel || !record->lines[1]->channel)
        return;
    liveDisplay->setLive(true);
    liveDisplay->show(*record);
    controlPanel->follow(*record);
    showStoredCount();
    // Limits watch every reading shown, recorded or not.
    const std::vector<AlarmEvent> alarms = readingWatch.limits().check(*record);
    const QString stopReason = readingWatch.stopReason(*record);
    // The emitted record is the window's to keep or to free.
    const bool kept = recorder->offer(const_cast<DmmData *>(record.get()), activeItem);
    if (kept)
        record.release();
    // After the journal has the reading that raised them.
    for (const AlarmEvent &event : alarms)
        showAlarm(event);
    // Only a kept reading ends a recording, and only once the journal has its alarms.
    if (kept)
        stopWhenMet(stopReason);
}

void Widget::showStoredCount()
{
    const int count = session->driver().getStoreParam().total;
    items->showStoredCount(count);
    ui->btnStoreDelete->setEnabled(count > 0);
}

void Widget::slotDmmRemoteStateUpdate(bool b)
{
    // A report that arrives after the link is already down, or while it is
    // being closed, has nothing left to close and must not warn.
    if (b || !session->isOpen() || session->recording() == MeterSession::Recording::Closing)
        return;
    closeLink();
    QMessageBox::warning(this, QString(), tr("The device has left remote mode, please reconnect."));
}

void Widget::slotDmmCommunicationTimeout()
{
    // The driver has already closed itself.
    QMessageBox::warning(this, QString(), tr("Communication timed out, please reconnect."));
}

void Widget::on_actionTest_triggered()
{
}

void Widget::on_actionImport_triggered()
{
}

void Widget::on_actionExport_triggered()
{
    QStringList titles;
    for (const DataColumn &column : dataColumns())
        titles << column.title;
    const std::shared_ptr<const ReadingStore> store =
        activeItem ? activeItem->store() : std::make_shared<const ReadingStore>();
    const JournalHeader header = activeItem ? Exporter::csvHeader(activeItem->name(), activeItem->origin(), *store)
                                            : JournalHeader();
    const QString written = Exporter(this, store, header, titles, ui->tabWidget, ui->chart).run();
    if (!written.isEmpty())
        slotMessage(tr("Exported to %1.").arg(QDir::toNativeSeparators(QFileInfo(written).absoluteFilePath())));
}

void Widget::on_actionManual_triggered()
{
    const ManualLocation manual;
    const QString path = manual.find();
    if (path.isEmpty())
        slotMessage(tr("The manual \"%1\" is in none of these folders: %2.")
                        .arg(ManualLocation::FileName, manual.folders().join(QStringLiteral(", "))));
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void Widget::on_actionClearMsg_triggered()
{
    ui->listWidget->clear();
    ui->listWidget->hide();
}

void Widget::runOptionDialog()
{
    Varnok &driver = session->driver();
    OptionDialog dialog(true, this);
    dialog.setSamplePoints(driver.getSamplePoints());
    dialog.setInfinite(driver.getOptInifinite());
    dialog.setSampleRate(driver.getSampleRate());
    dialog.setSkipRepeat(driver.getSkipRepeat());
    dialog.setJournal(session->writesJournal(), RecordingJournal::folder());
    dialog.setReconnect(session->autoReconnect());
    dialog.setSendTo(session->forwarder().settings());
    dialog.setStopCondition(stopCondition());
    for (int line = 0; line < 2; ++line)
        dialog.setLimits(line, readingWatch.limits().limits(line));
    dialog.setLanguageIndex(language == QLatin1String("OTHER") ? 1 : 0);
    if (dialog.exec() != QDialog::Accepted)
        return;

    driver.setSampleRate(dialog.sampleRate());
    driver.setOptInifinite(dialog.infinite());
    driver.setSkipRepeat(dialog.skipRepeat());
    driver.setSamplePoints(dialog.samplePoints());
    setJournalEnabled(dialog.journal());
    session->forwarder().setSettings(dialog.sendTo());
    setWatchOptions({dialog.limits(0), dialog.limits(1)}, dialog.stopCondition());
    if (!dialog.reconnect())
        endReconnect();
    session->setAutoReconnect(dialog.reconnect());
    language = dialog.languageIndex() == 1 ? QStringLiteral("OTHER") : QStringLiteral("EN");
}

OptionsFile::Values Widget::currentOptions() const
{
    OptionsFile::Values values;
    values.fixedLanguage = fixedLanguage;
    values.language = language;
    const Varnok &driver = session->driver();
    values.samplePoints = driver.getSamplePoints();
    values.infinite = driver.getOptInifinite();
    values.sampleRate = driver.getSampleRate();
    values.skipRepeat = driver.getSkipRepeat();
    values.journal = session->writesJournal();
    values.reconnect = session->autoReconnect();
    values.sendInflux = session->forwarder().settings().influx.toString();
    values.sendMqtt = session->forwarder().settings().mqtt.toString();
    for (int line = 0; line < 2; ++line)
        values.limits[line] = readingWatch.limits().limits(line);
    values.stopCondition = stopCondition();
    return values;
}

void Widget::restoreSettings()
{
    OptionsFile::Values values = currentOptions();
    optionsFile.read(values);
    if (!values.geometry.isEmpty())
        restoreGeometry(values.geometry);
    if (!values.state.isEmpty())
        restoreState(values.state, 0);
    // A state saved with the tool bar hidden (an older version let it be
    // hidden) would leave the window without its actions.
    ui->mainToolBar->setVisible(true);
    if (!values.splitter.isEmpty())
        ui->splitter_2->restoreState(values.splitter);
    fixedLanguage = values.fixedLanguage;
    language = values.language;
    Varnok &driver = session->driver();
    driver.setSamplePoints(values.samplePoints);
    driver.setOptInifinite(values.infinite);
    driver.setSampleRate(values.sampleRate);
    driver.setSkipRepeat(values.skipRepeat);
    setJournalEnabled(values.journal);
    ForwardSettings sendTo;
    sendTo.influx = QUrl(values.sendInflux);
    sendTo.mqtt = QUrl(values.sendMqtt);
    // A hand edit that names no server sends nowhere.
    session->forwarder().setSettings(sendTo.error().isEmpty() ? sendTo : ForwardSettings());
    session->setAutoReconnect(values.reconnect);
    setWatchOptions({values.limits[0], values.limits[1]}, values.stopCondition);
}

void Widget::setJournalEnabled(bool on)
{
    session->setJournalOpener(on ? MeterSession::JournalOpener(&RecordingJournal::open) : nullptr);
}

void Widget::saveSettings()
{
    OptionsFile::Values values = currentOptions();
    values.geometry = saveGeometry();
    values.state = saveState(0);
    values.splitter = ui->splitter_2->saveState();
    switch (optionsFile.write(values)) {
    case OptionsFile::WriteResult::Written:
        break;
    case OptionsFile::WriteResult::NotARegularFile:
        slotMessage(tr("Settings not saved: %1 is not a regular file.").arg(optionsFile.path()));
        break;
    case OptionsFile::WriteResult::CannotWrite:
        QMessageBox::warning(this, QString(), tr("Can not open file."));
        break;
    }
}
