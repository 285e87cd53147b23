#pragma once

#include "nokerneldevices.h"

#include <QObject>
#include <QList>
#include <QUrl>

#include <memory>

namespace dmmsim {
class SimulatedMeter;
}

// The main window: title, actions, context menus and the link to the meter.
class WidgetTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void titleEndsWithOneSpace();
    void actionsAtStart_data();
    void actionsAtStart();
    void formAtStart_data();
    void formAtStart();
    void controlPanelTitles();
    void buildingTheWindowWarnsOfNothing();
    void testAndImportDoNothing();
    void manualOpensFromWorkingDirectory();
    void manualLookedForInOrder_data();
    void manualLookedForInOrder();
    void contextMenus_data();
    void contextMenus();
    void savedStateNeverHidesTheToolBar();

    void connectWithoutMeter();
    void connectFailureTexts_data();
    void connectFailureTexts();
    void connectAndDisconnect();
    void linkLostWarnsOnce_data();
    void linkLostWarnsOnce();
    void closingWhileConnectedClosesTheLink();

public slots:
    // Stands in for the desktop's handler of local files.
    void openLocalFile(const QUrl &url);

private:
    std::shared_ptr<dmmsim::SimulatedMeter> attachMeter();

    NoKernelDevices noUsbDevices;
    std::shared_ptr<dmmsim::SimulatedMeter> meter;
    QList<QUrl> openedFiles;
};
