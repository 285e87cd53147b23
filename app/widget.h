#pragma once

#include "desktopnotifier.h"
#include "itemdata.h"
#include "optionsfile.h"
#include "readingwatch.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace Ui {
class Widget;
}

class DmmData;
class ControlPanel;
class ItemTree;
class ItemViews;
class Recorder;
class StatisticsStrip;
class ReadingStore;
class LiveDisplay;
class MeterSession;
class QAction;
class QLabel;
class QMenu;
class QMessageBox;
class QModelIndex;

// The main window: live display, control panel, item tree, data views and
// the tool bar that connects to the meter.
class Widget : public QMainWindow
{
    Q_OBJECT
public:
    // `optionsPath` is where the settings file is read and written; empty
    // means OptionsFile::defaultPath().
    explicit Widget(QWidget *parent = nullptr, const QString &optionsPath = QString());
    ~Widget() override;

    // Offers to restore the recordings of journals a crash left open; called
    // once the window shows.
    void offerRestore();
    // Opens a journal, or any CSV table this program wrote, as a new item.
    void openJournal(const QString &path);

protected:
    bool eventFilter(QObject *obj, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // No menu of tool bars to hide: a hidden main tool bar takes Connect,
    // Export and Close with it.
    QMenu *createPopupMenu() override;

signals:
    void updateDowndPos(int total, int pos);

private slots:
    void slotAction();
    void slotDmmOpened();
    void slotDmmClosed();
    void slotMessage(const QString &msg);
    void slotDmmDisplay(const DmmData *data);
    void slotDmmRemoteStateUpdate(bool b);
    void slotDmmCommunicationTimeout();
    void slotLinkLost(const QString &text);
    void slotLinkRestored(const QString &text);
    void on_actionTest_triggered();
    void on_actionImport_triggered();
    void on_actionExport_triggered();
    void on_actionManual_triggered();
    void on_actionClearMsg_triggered();
    void on_actionStart_triggered();
    void on_actionStop_triggered();

    // Items.
    void newItem(const QString &name, ItemData::DataType type);
    void on_actionItemNew_triggered();
    void on_actionItemDelete_triggered();
    void on_actionItemRename_triggered();
    void on_actionItemSetToActive_triggered();
    void on_actionItemOpen_triggered();
    void on_tvItems_activated(const QModelIndex &index);
    void itemSetToActive(const QModelIndex &index);
    void showItemBtn(const QModelIndex &current, const QModelIndex &previous);

    // Stored data.
    void on_btnStore_clicked();
    void on_btnStoreDelete_clicked();
    void on_btnStoreDownload_clicked();
    void on_actionItemDownload_triggered();
    void slotStoreNum(int total, int num);
    void slotDisplayStore(const DmmData *data);

    // Control panel.
    void on_cbbCH1Range_currentIndexChanged(int index);
    void on_cbbCH1Range_activated(int index);
    void on_cbbCH2Range_currentIndexChanged(int index);
    void on_cbbCH2Range_activated(int index);
    void on_cbbLine1CH_activated(int index);
    void on_cbbLine2CH_activated(int index);
    void on_cbbLine1Function_activated(int index);
    void on_cbbLine2Function_activated(int index);
    void on_cbbRate_activated(int index);
    void on_spinCH1DB_editingFinished();
    void on_spinCH2DB_editingFinished();
    void on_spinCH1DBM_editingFinished();
    void on_spinCH2DBM_editingFinished();
    void on_btnRelState_clicked(bool checked);
    void on_btnHold_clicked(bool checked);
    void on_btnHoldOption_clicked();
    void on_btnPercentState_clicked(bool checked);
    void on_spinPercentRef_editingFinished();
    void on_btnMaxMin_clicked(bool checked);
    void on_btnCompareState_clicked(bool checked);
    void on_spinCompareLower_editingFinished();
    void on_spinCompareUpper_editingFinished();
    void on_cbbTriggerSource_currentIndexChanged(int index);
    void on_cbbTriggerSource_activated(int index);
    void on_btnCH1Float_clicked(bool checked);
    void on_btnCH2Float_clicked(bool checked);

private:
    void initObj();
    void initWidget();
    void initItemTree();
    void initStatusBar();
    // The status bar's line: the connected resource or "Not connected".
    void showLinkState(bool connected);
    void initSelf();
    void initConnec();
    void initJournal();
    QModelIndex addJournalItem(const QString &name, const JournalHeader &header, std::shared_ptr<ReadingStore> readings);
    // Makes `index` the active and the current item.
    void showItem(const QModelIndex &index);
    void restoreSettings();
    void saveSettings();
    void runOptionDialog();
    // The statistics strip below the chart (widget_statistics.cpp).
    void initStatistics();
    // Alarms and the stop condition (widget_alarms.cpp).
    void initAlarms();
    void runLimitsDialog();
    std::optional<StopCondition> stopCondition() const;
    void setWatchOptions(const std::array<LineLimits, 2> &limits, const std::optional<StopCondition> &stop);
    // A line's alarm raised or cleared: the display, the message list, the
    // journal, the desktop and the forwarding servers hear of it.
    void showAlarm(const AlarmEvent &event);
    // Recording stops, as by Stop, when a kept reading met the stop
    // condition for `reason`; an empty reason goes on.
    void stopWhenMet(const QString &reason);
    // Ends any reconnect under way, with its warning.
    void endReconnect();
    void setJournalEnabled(bool on);
    OptionsFile::Values currentOptions() const;
    QList<QAction *> itemActions(const QModelIndex &index) const;
    // Starts recording into the active item, or stops recording.
    void setRecording(bool on);
    // Start and Stop as the session's recording state has them.
    void showRecordingState();
    // A measurement item is active: Start has somewhere to record to.
    bool canRecord() const;
    // Every close the window asks for: recording stops first, and the window
    // takes no input until the link is down.
    void closeLink();
    // Shows the active item's records in the table and the chart.
    void refreshItemViews();
    void showStoredCount();
    bool isUnfocusedPanelControl(QObject *obj) const;

    std::unique_ptr<Ui::Widget> ui;
    // The meter, its link and the recording; what refers to it is let go
    // first in the destructor.
    std::unique_ptr<MeterSession> session;
    std::unique_ptr<LiveDisplay> liveDisplay;
    std::unique_ptr<ControlPanel> controlPanel;
    std::unique_ptr<ItemViews> views;
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<ItemTree> items;
    ItemData *activeItem = nullptr; // owned by the item tree's model
    QLabel *linkLabel = nullptr;    // owned by the status bar
    StatisticsStrip *statisticsStrip = nullptr; // owned by the chart's tab
    QString language;
    bool fixedLanguage = false;
    QPointer<QMessageBox> lossWarning; // shown while a lost link is being reconnected
    OptionsFile optionsFile;
    ReadingWatch readingWatch;
    DesktopNotifier notifier;
};
