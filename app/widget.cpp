#include "widget.h"

#include "dmmdata.h"
#include "itemdata.h"
#include "optiondialog.h"
#include "tessaly.h"
#include "tvitemmodel.h"
#include "ui_widget.h"
#include "varnok.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QStandardItem>
#include <QUrl>

#include <initializer_list>

// Resources of a static library register only when asked to.
static void initImageResources()
{
    Q_INIT_RESOURCE(images);
}

namespace {

const QString ModelName = QStringLiteral("KM4473N/KM4475N");
const QString ManualFile = QStringLiteral("Software User Manual.pdf");

struct ComboItem
{
    QString text;
    QVariant data;
};

void fillCombo(QComboBox *combo, std::initializer_list<ComboItem> items)
{
    for (const ComboItem &item : items)
        combo->addItem(item.text, item.data);
}

} // namespace

Widget::Widget(QWidget *parent, const QString &optionsPath)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::Widget>()),
      measureIcon(QStringLiteral(":/image/measure.png")),
      optionsFile(optionsPath.isEmpty() ? OptionsFile::defaultPath() : optionsPath)
{
    initImageResources();
    ui->setupUi(this);
    initObj();
    initWidget();
    initSelf();
    initConnec();
    restoreSettings();
}

Widget::~Widget()
{
    // The driver may still announce closed() while it goes; the window's
    // slots must not run on a half-destroyed window.
    driver->disconnect(this);
}

void Widget::initObj()
{
    transport = std::make_unique<Tessaly>();
    driver = std::make_unique<Varnok>();
}

void Widget::initWidget()
{
    initItemTree();
    ui->tvItems->installEventFilter(this);
    ui->tv->installEventFilter(this);
    ui->listWidget->installEventFilter(this);
    // Driver messages are kept in the list but the list is not shown.
    ui->listWidget->hide();
    ui->tabWidget->removeTab(ui->tabWidget->indexOf(ui->tab_2));

    auto *spacer = new QWidget(ui->mainToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ui->mainToolBar->insertWidget(ui->actionClose, spacer);

    // Extra width goes to the data views, extra height to the tabs.
    ui->splitter_2->setStretchFactor(1, 1);
    ui->splitter->setStretchFactor(0, 1);

    initControlPanel();
}

void Widget::initControlPanel()
{
    for (QComboBox *range : {ui->cbbCH1Range, ui->cbbCH2Range}) {
        // The meter is sent the lower value; it answers with the shown one.
        fillCombo(range, {{"AUTO", "AUTO"}, {"3.8mV", "3.7mV"}, {"38mV", "37mV"}, {"380mV", "370mV"},
                          {"3.8V", "3.7V"}, {"38V", "37V"}, {"380V", "370V"}});
    }
    for (QComboBox *channel : {ui->cbbLine1CH, ui->cbbLine2CH})
        fillCombo(channel, {{"CH1", {}}, {"CH2", {}}});
    for (QComboBox *function : {ui->cbbLine1Function, ui->cbbLine2Function}) {
        fillCombo(function, {{"VOLT", "VOLT"}, {"VPP", "VPP"}, {"WATT", "WATT"}, {"DB", "DB"},
                             {"DBm", "DBM"}, {QStringLiteral("DB\u03bcV"), "DBUV"}, {"DBmV", "DBMV"},
                             {"DBV", "DBV"}});
    }
    fillCombo(ui->cbbRate, {{"FAST", {}}, {"MED", {}}, {"SLOW", {}}});
    fillCombo(ui->cbbTriggerSource, {{"IMM", "IMM"}, {"MAN", "MAN"}, {"BUS", "BUS"}});

    // Shown only while the meter reports them on.
    ui->lcdRel->hide();
    ui->lcdHold->hide();
}

void Widget::initItemTree()
{
    itemModel = new TvItemModel(this);
    itemModel->setHorizontalHeaderLabels({tr("Name")});
    ui->tvItems->setModel(itemModel);

    auto *storeNode = new QStandardItem(QIcon(QStringLiteral(":/image/rom.png")), QString());
    TvItemModel::setNodeItem(storeNode, new ItemData(tr("Store Data"), ItemData::StoreData));
    itemModel->appendRow(storeNode);

    liveDataNode = new QStandardItem(QIcon(QStringLiteral(":/image/live.png")), QString());
    TvItemModel::setNodeItem(liveDataNode, new ItemData(tr("Live Data"), ItemData::LiveData));
    itemModel->appendRow(liveDataNode);

    auto *measureNode = new QStandardItem(measureIcon, QString());
    auto *measureItem = new ItemData(QStringLiteral("Measure%1").arg(1), ItemData::MeasureData);
    TvItemModel::setNodeItem(measureNode, measureItem);
    liveDataNode->appendRow(measureNode);

    ui->tvItems->expandAll();
    activeItem = measureItem;
    measureNode->setData(true, TvItemModel::ActiveRole);
    ui->tvItems->setCurrentIndex(measureNode->index());
}

void Widget::initSelf()
{
    setWindowTitle(tr("%1 v%2 ").arg(ModelName, QStringLiteral(DMMPANEL_VERSION)));
    resize(1000, 600);
    // Centred with the size the window will really have: its panels may need
    // more height than asked for. The title bar never leaves the screen.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        const QSize shown = size().expandedTo(minimumSizeHint());
        move(desk.x() + qMax(0, (desk.width() - shown.width()) / 2),
             desk.y() + qMax(0, (desk.height() - shown.height()) / 2));
    }
}

void Widget::initConnec()
{
    connect(driver.get(), &Dmm::opened, this, &Widget::slotDmmOpened);
    connect(driver.get(), &Dmm::closed, this, &Widget::slotDmmClosed);
    connect(driver.get(), &Dmm::message, this, &Widget::slotMessage);
    connect(driver.get(), &Dmm::display, this, &Widget::slotDmmDisplay);
    // Queued: the window closes the driver and shows a box only after the
    // driver has finished the command that reported the loss.
    connect(driver.get(), &Varnok::remoteStateUpdate, this, &Widget::slotDmmRemoteStateUpdate,
            Qt::QueuedConnection);
    connect(driver.get(), &Varnok::communicationTimeout, this, &Widget::slotDmmCommunicationTimeout,
            Qt::QueuedConnection);
    for (QAction *action : {ui->actionConnect, ui->actionDisconnect, ui->actionOption, ui->actionClose})
        connect(action, &QAction::triggered, this, &Widget::slotAction);
}

bool Widget::eventFilter(QObject *obj, QEvent *event)
{
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

QList<QAction *> Widget::itemActions(const QModelIndex &index) const
{
    if (index.parent().isValid())
        return {ui->actionItemSetToActive, ui->actionItemRename, ui->actionItemNew, ui->actionItemDelete};
    if (index.row() == 0)
        return {ui->actionItemSetToActive, ui->actionItemDownload};
    return {ui->actionItemNew};
}

ItemData *Widget::storeDataItem() const
{
    return TvItemModel::nodeItem(itemModel->item(0));
}

void Widget::closeEvent(QCloseEvent *event)
{
    driver->close();
    saveSettings();
    QMainWindow::closeEvent(event);
}

void Widget::slotAction()
{
    const auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    if (action == ui->actionConnect) {
        if (!driver->open(transport.get()))
            QMessageBox::critical(this, QString(), tr("Failed to open device."));
    } else if (action == ui->actionDisconnect) {
        driver->close();
    } else if (action == ui->actionOption) {
        runOptionDialog();
    } else if (action == ui->actionClose) {
        close();
    }
}

void Widget::slotDmmOpened()
{
    ui->actionConnect->setEnabled(false);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    ui->actionStart->setEnabled(activeItem != storeDataItem());
    ui->actionStop->setEnabled(false);
    ui->actionSyncTime->setEnabled(true);
}

void Widget::slotDmmClosed()
{
    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(!ui->actionConnect->isEnabled());
    recording = false;
    ui->actionStart->setEnabled(false);
    ui->actionStop->setEnabled(false);
    ui->actionSyncTime->setEnabled(false);
}

void Widget::slotMessage(const QString &msg)
{
    ui->listWidget->addItem(msg);
    ui->listWidget->scrollToBottom();
}

void Widget::slotDmmDisplay(const DmmData *data)
{
    // Every reading handed out belongs to the window; none is kept yet.
    delete data;
}

void Widget::slotDmmRemoteStateUpdate(bool b)
{
    // A report that arrives after the link is already down has nothing left
    // to close and must not warn a second time.
    if (b || !driver->actived())
        return;
    driver->close();
    QMessageBox::warning(this, QString(), tr("The device has left remote mode, please reconnect."));
}

void Widget::slotDmmCommunicationTimeout()
{
    // The driver has already closed itself.
    QMessageBox::warning(this, QString(), tr("Communication timed out, please reconnect."));
}

void Widget::slotUSBRefreshed(int num)
{
    ui->actionConnect->setEnabled(num > 0);
}

void Widget::on_actionTest_triggered()
{
}

void Widget::on_actionImport_triggered()
{
}

void Widget::on_actionManual_triggered()
{
    // Looked up in the working directory; a missing manual is not reported.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::current().absoluteFilePath(ManualFile)));
}

void Widget::on_actionClearMsg_triggered()
{
    ui->listWidget->clear();
}

void Widget::runOptionDialog()
{
    OptionDialog dialog(true, this);
    dialog.setSamplePoints(driver->getSamplePoints());
    dialog.setInfinite(driver->getOptInifinite());
    dialog.setSampleRate(driver->getSampleRate());
    dialog.setSkipRepeat(driver->getSkipRepeat());
    dialog.setLanguageIndex(language == QLatin1String("OTHER") ? 1 : 0);
    if (dialog.exec() != QDialog::Accepted)
        return;

    driver->setSampleRate(dialog.sampleRate());
    driver->setOptInifinite(dialog.infinite());
    driver->setSkipRepeat(dialog.skipRepeat());
    driver->setSamplePoints(dialog.samplePoints());
    language = dialog.languageIndex() == 1 ? QStringLiteral("OTHER") : QStringLiteral("EN");
}

OptionsFile::Values Widget::currentOptions() const
{
    OptionsFile::Values values;
    values.fixedLanguage = fixedLanguage;
    values.language = language;
    values.samplePoints = driver->getSamplePoints();
    values.infinite = driver->getOptInifinite();
    values.sampleRate = driver->getSampleRate();
    values.skipRepeat = driver->getSkipRepeat();
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
    if (!values.splitter.isEmpty())
        ui->splitter_2->restoreState(values.splitter);
    fixedLanguage = values.fixedLanguage;
    language = values.language;
    driver->setSamplePoints(values.samplePoints);
    driver->setOptInifinite(values.infinite);
    driver->setSampleRate(values.sampleRate);
    driver->setSkipRepeat(values.skipRepeat);
}

void Widget::saveSettings()
{
    OptionsFile::Values values = currentOptions();
    values.geometry = saveGeometry();
    values.state = saveState(0);
    values.splitter = ui->splitter_2->saveState();
    if (!optionsFile.write(values))
        QMessageBox::warning(this, QString(), tr("Can not open file."));
}
