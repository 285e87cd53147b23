#pragma once

#include "optionsfile.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <memory>

namespace Ui {
class Widget;
}

class DmmData;
class ItemData;
class QAction;
class QModelIndex;
class QStandardItem;
class Tessaly;
class TvItemModel;
class Varnok;

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

protected:
    bool eventFilter(QObject *obj, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void slotAction();
    void slotDmmOpened();
    void slotDmmClosed();
    void slotMessage(const QString &msg);
    void slotDmmDisplay(const DmmData *data);
    void slotDmmRemoteStateUpdate(bool b);
    void slotDmmCommunicationTimeout();
    void slotUSBRefreshed(int num);
    void on_actionTest_triggered();
    void on_actionImport_triggered();
    void on_actionManual_triggered();
    void on_actionClearMsg_triggered();

private:
    void initObj();
    void initWidget();
    void initControlPanel();
    void initItemTree();
    void initSelf();
    void initConnec();
    void restoreSettings();
    void saveSettings();
    void runOptionDialog();
    OptionsFile::Values currentOptions() const;
    QList<QAction *> itemActions(const QModelIndex &index) const;
    ItemData *storeDataItem() const;

    std::unique_ptr<Ui::Widget> ui;
    // Created without parent and kept until the window goes; the driver is
    // declared last so that it goes before the transport it talks through.
    std::unique_ptr<Tessaly> transport;
    std::unique_ptr<Varnok> driver;
    TvItemModel *itemModel = nullptr;
    ItemData *activeItem = nullptr;
    bool recording = false;
    QStandardItem *liveDataNode = nullptr;
    QIcon measureIcon;
    QString language;
    bool fixedLanguage = false;
    OptionsFile optionsFile;
};
