#include "widgettest.h"

#include "apptestsupport.h"
#include "inprocessinstrument.h"
#include "linktexts.h"
#include "manuallocation.h"
#include "modalanswerer.h"
#include "simulatedmeter.h"
#include "widget.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>

namespace {

// Links that fail or end take the driver up to three tries of 2 s and a
// grace period; a busy machine may need several times that.
constexpr int LinkTimeoutMs = 30000;

bool sentCommandStartingWith(const dmmsim::SimulatedMeter &meter, const std::string &prefix)
{
    const std::vector<std::string> log = meter.commandLog();
    return std::any_of(log.begin(), log.end(),
                       [&](const std::string &line) { return line.rfind(prefix, 0) == 0; });
}

QString linkState(const WindowFixture &fixture)
{
    const auto *label = fixture.window()->findChild<QLabel *>(QStringLiteral("label_link"));
    return label && label->isVisible() ? label->text() : QStringLiteral("(no status line)");
}

bool messagesShown(const WindowFixture &fixture)
{
    return fixture.window()->findChild<QListWidget *>(QStringLiteral("listWidget"))->isVisible();
}

QStringList *capturedWarnings = nullptr;

void captureWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        *capturedWarnings << message;
}

} // namespace

void WidgetTest::initTestCase()
{
    // Only the meters a test attaches are seen, never a kernel device.
    QVERIFY(noUsbDevices.isValid());
}

void WidgetTest::cleanup()
{
    if (meter) {
        visa::removeInProcessInstrument(meter.get());
        meter.reset();
    }
}

std::shared_ptr<dmmsim::SimulatedMeter> WidgetTest::attachMeter()
{
    meter = std::make_shared<dmmsim::SimulatedMeter>();
    visa::addInProcessInstrument(meter);
    return meter;
}

void WidgetTest::titleEndsWithOneSpace()
{
    WindowFixture fixture;
    QCOMPARE(fixture.window()->windowTitle(), QStringLiteral("KM4473N/KM4475N v1.02 "));
}

void WidgetTest::actionsAtStart_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("actionConnect") << "Connect" << "connect" << true;
    QTest::newRow("actionDisconnect") << "&Disconnect" << "disconnect" << false;
    QTest::newRow("actionOption") << "&Options" << "options" << true;
    QTest::newRow("actionClose") << "C&lose" << "exit" << true;
    QTest::newRow("actionStart") << "Start" << "play" << false;
    QTest::newRow("actionStop") << "Stop" << "stop" << false;
    QTest::newRow("actionTest") << "Test" << "" << true;
    QTest::newRow("actionManual") << "&Manual" << "help" << true;
    QTest::newRow("actionClearMsg") << "Clear" << "delete" << true;
    QTest::newRow("actionItemNew") << "New" << "new" << true;
    QTest::newRow("actionItemDelete") << "Delete" << "delete" << true;
    QTest::newRow("actionItemRename") << "Rename" << "rename" << true;
    QTest::newRow("actionItemSetToActive") << "Set to active" << "active" << true;
    QTest::newRow("actionItemDownload") << "Download" << "pcdownload" << true;
    QTest::newRow("actionExport") << "Export" << "export" << true;
    QTest::newRow("actionImport") << "Import" << "import" << true;
    QTest::newRow("actionSyncTime") << "Sync Time" << "sync" << false;
}

void WidgetTest::actionsAtStart()
{
    QFETCH(QString, text);
    QFETCH(QString, icon);
    QFETCH(bool, enabled);

    WindowFixture fixture;
    const QAction *action = fixture.action(QTest::currentDataTag());
    QCOMPARE(action->text(), text);
    QCOMPARE(action->isEnabled(), enabled);
    if (icon.isEmpty()) {
        QVERIFY(action->icon().isNull());
    } else {
        // The picture really loads from the program's resources.
        const QImage expected = QImage(QStringLiteral(":/image/%1.png").arg(icon))
                                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(expected.size(), QSize(16, 16));
        QCOMPARE(action->icon().pixmap(16, 16).toImage().convertToFormat(expected.format()), expected);
    }
}

// The texts the user reads before the first reading, and the widgets that
// the window's handlers find by name.
void WidgetTest::formAtStart_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");

    const auto row = [](const char *object, const char *property, const QVariant &value) {
        QTest::addRow("%s %s", object, property) << object << QByteArray(property) << value;
    };
    // White; an alpha value given to rgb() would make Qt warn on every polish.
    row("lcd", "styleSheet", "background-color: rgb(255, 255, 255);");
    row("lcdRel", "text", "REL");
    row("lcdRel", "visible", false);
    row("lcdHold", "text", "HOLD");
    row("lcdHold", "visible", false);
    row("lcdLine1Ch", "text", "CH1");
    row("lcdLine1Value", "text", "0.0000 ");
    row("lcdLIne1Unit", "text", "V");
    row("lcdLine2Ch", "text", "CH2");
    row("lcdLine2Value", "text", "0.0000 ");
    row("lcdLIne2Unit", "text", "V");
    row("label_8", "text", "  FREQ");
    row("lcdCH1Freq", "text", "0.0000 ");
    row("lcdCH1FreqUnit", "text", "Hz");
    row("label_9", "text", "  FREQ");
    row("lcdCH2Freq", "text", "0.0000 ");
    row("lcdCH2FreqUnit", "text", "Hz");
    row("btnHoldOption", "text", "...");
    row("btnHoldOption", "enabled", false);
    for (const char *button : {"btnRelState", "btnHold", "btnPercentState", "btnMaxMin", "btnCompareState",
                               "btnCH1Float", "btnCH2Float"}) {
        row(button, "text", "OFF");
        row(button, "checkable", true);
    }
    row("btnStore", "text", "Store");
    row("btnStoreDelete", "text", "Delete");
    row("btnStoreDownload", "text", "Download");
    row("listWidget", "visible", false);
}

void WidgetTest::formAtStart()
{
    QFETCH(QString, object);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);

    WindowFixture fixture;
    const QObject *found = fixture.window()->findChild<QObject *>(object);
    QVERIFY(found);
    const QVariant actual = found->property(property.constData());
    QVERIFY(actual.isValid());
    QCOMPARE(actual.toString(), value.toString());
}

void WidgetTest::controlPanelTitles()
{
    WindowFixture fixture;
    const auto *panel = fixture.window()->findChild<QWidget *>(QStringLiteral("frame_2"));
    QVERIFY(panel);
    QStringList titles;
    for (const QLabel *label : panel->findChildren<QLabel *>())
        titles << label->text();
    QCOMPARE(titles, QStringList({"Line1", "Line2", "Function", "CH1", "CH2", "Range", "DB", " V ", "  V",
                                  "DBM", QStringLiteral(" \u03a9"), QStringLiteral(" \u03a9"), "Float",
                                  "     Rate", "    REL", "Hold", "Percent", "Max Min", "Trigger", "Compare",
                                  "L", "H", "Storage"}));
}

void WidgetTest::buildingTheWindowWarnsOfNothing()
{
    // A by-name slot without its widget, or a style Qt does not take, only
    // shows as a warning while the window is built and painted.
    QStringList warnings;
    capturedWarnings = &warnings;
    const QtMessageHandler previous = qInstallMessageHandler(captureWarning);
    {
        WindowFixture fixture;
        fixture.window()->grab();
    }
    qInstallMessageHandler(previous);
    capturedWarnings = nullptr;

    // The offscreen platform's notes about itself are not the window's.
    warnings.erase(std::remove_if(warnings.begin(), warnings.end(),
                                  [](const QString &warning) {
                                      return warning.startsWith(QLatin1String("This plugin does not support"));
                                  }),
                   warnings.end());
    QCOMPARE(warnings, QStringList());
}

void WidgetTest::testAndImportDoNothing()
{
    ModalAnswerer answerer;
    WindowFixture fixture;
    fixture.action("actionTest")->trigger();
    fixture.action("actionImport")->trigger();
    QCoreApplication::processEvents();
    QCOMPARE(linkActions(fixture), NotConnected);
    QVERIFY(answerer.boxes().isEmpty());
    QCOMPARE(answerer.dialogCount(), 0);
}

void WidgetTest::openLocalFile(const QUrl &url)
{
    openedFiles << url;
}

void WidgetTest::manualOpensFromWorkingDirectory()
{
    QTemporaryDir workingDir;
    QFile manual(QDir(workingDir.path()).absoluteFilePath(QStringLiteral("Software User Manual.pdf")));
    QVERIFY(manual.open(QIODevice::WriteOnly));
    manual.close();
    const QString oldDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workingDir.path()));
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openLocalFile");
    openedFiles.clear();

    ModalAnswerer answerer;
    WindowFixture fixture;
    fixture.action("actionManual")->trigger();

    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDir::setCurrent(oldDir);
    QCOMPARE(openedFiles.size(), 1);
    QCOMPARE(openedFiles.first().toLocalFile(), manual.fileName());
    QVERIFY(answerer.boxes().isEmpty());
    QCOMPARE(fixture.messages(), QStringList());
}

void WidgetTest::manualLookedForInOrder_data()
{
    QTest::addColumn<QList<bool>>("present"); // in the working, installed and build folders
    QTest::addColumn<int>("found");           // folder index, -1 for none
    QTest::newRow("working directory first") << QList<bool>{true, true, true} << 0;
    QTest::newRow("then the installed one") << QList<bool>{false, true, true} << 1;
    QTest::newRow("then the build tree's") << QList<bool>{false, false, true} << 2;
    QTest::newRow("none") << QList<bool>{false, false, false} << -1;
}

void WidgetTest::manualLookedForInOrder()
{
    QFETCH(QList<bool>, present);
    QFETCH(int, found);
    QTemporaryDir root;
    QStringList folders;
    for (int i = 0; i < present.size(); ++i) {
        folders << root.filePath(QString::number(i));
        QVERIFY(QDir().mkpath(folders.last()));
        // A folder of the manual's name is no manual.
        const QString path = QDir(folders.last()).absoluteFilePath(ManualLocation::FileName);
        QVERIFY(present[i] ? QFile(path).open(QIODevice::WriteOnly) : QDir().mkpath(path));
    }
    const ManualLocation location(folders);
    QCOMPARE(location.find(),
             found < 0 ? QString() : QDir(folders[found]).absoluteFilePath(QStringLiteral("Software User Manual.pdf")));
}

void WidgetTest::contextMenus_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<int>("currentRow");   // top-level row made current; -1 for none
    QTest::addColumn<bool>("currentChild"); // the first child of that row instead
    QTest::addColumn<QStringList>("entries"); // empty: no menu

    QTest::newRow("data table") << "tv" << -1 << false << QStringList();
    QTest::newRow("message list") << "listWidget" << -1 << false << QStringList{"Clear"};
    QTest::newRow("item tree, nothing current") << "tvItems" << -1 << false << QStringList();
    QTest::newRow("item tree, measurement item")
        << "tvItems" << 1 << true << QStringList{"Set to active", "Rename", "New", "Delete", "Open Journal"};
    QTest::newRow("item tree, Store Data root")
        << "tvItems" << 0 << false << QStringList{"Set to active", "Download"};
    QTest::newRow("item tree, Live Data root") << "tvItems" << 1 << false << QStringList{"New", "Open Journal"};
    // No entry that could hide the tool bar.
    QTest::newRow("main tool bar") << "mainToolBar" << -1 << false << QStringList();
}

void WidgetTest::contextMenus()
{
    QFETCH(QString, view);
    QFETCH(int, currentRow);
    QFETCH(bool, currentChild);
    QFETCH(QStringList, entries);

    ModalAnswerer answerer;
    WindowFixture fixture;
    auto *target = fixture.window()->findChild<QWidget *>(view);
    QVERIFY(target);
    auto *itemView = qobject_cast<QAbstractItemView *>(target);
    if (view == QLatin1String("tvItems")) {
        QModelIndex index;
        if (currentRow >= 0)
            index = itemView->model()->index(currentRow, 0);
        if (currentChild)
            index = itemView->model()->index(0, 0, index);
        itemView->setCurrentIndex(index);
        QCOMPARE(itemView->currentIndex().isValid(), currentRow >= 0);
    }

    // A right click reaches a view's viewport first and the view after it.
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(itemView ? itemView->viewport() : target, &event);

    const QList<QStringList> expected = entries.isEmpty() ? QList<QStringList>() : QList<QStringList>{entries};
    QCOMPARE(answerer.menus(), expected);
}

void WidgetTest::connectWithoutMeter()
{
    ModalAnswerer answerer;
    WindowFixture fixture;
    LinkActions atBox{};
    answerer.setBoxHandler([&](const ModalAnswerer::Box &) { atBox = linkActions(fixture); });

    fixture.action("actionConnect")->trigger();

    QCOMPARE(answerer.boxes().size(), 1);
    const ModalAnswerer::Box &box = answerer.boxes().first();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QString());
    QCOMPARE(box.text, QStringLiteral("Failed to open device."));
    QCOMPARE(atBox, NotConnected);
    QCOMPARE(linkActions(fixture), NotConnected);
    QCOMPARE(linkState(fixture), QStringLiteral("Not connected"));
    // Why, in the message list, which shows once it has something to say.
    const QString why = QStringLiteral("No USB instrument found. Check that the meter is switched on and its "
                                       "USB cable is plugged in.");
    QCOMPARE(fixture.messages(), QStringList{why});
    QVERIFY(messagesShown(fixture));

    // The user can try again, and gets the same answer once more.
    fixture.action("actionConnect")->trigger();
    QCOMPARE(answerer.boxes().size(), 2);
    QCOMPARE(linkActions(fixture), NotConnected);
    QCOMPARE(fixture.messages(), (QStringList{why, why}));

    // Clear empties the list and puts it away.
    fixture.action("actionClearMsg")->trigger();
    QCOMPARE(fixture.messages(), QStringList());
    QVERIFY(!messagesShown(fixture));
}

void WidgetTest::connectFailureTexts_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<int>("seen");
    QTest::addColumn<QString>("text");
    const QString check = "Check that the meter is switched on and its USB cable is plugged in.";
    QTest::newRow("one other instrument")
        << int(Tessaly::OpenFailure::NoMatchingInstrument) << 1
        << "The one USB instrument found is not a KM4473N/KM4475N meter. " + check;
    QTest::newRow("three other instruments")
        << int(Tessaly::OpenFailure::NoMatchingInstrument) << 3
        << "None of the 3 USB instruments found is a KM4473N/KM4475N meter. " + check;
    QTest::newRow("meter would not open")
        << int(Tessaly::OpenFailure::CannotOpen) << 2
        << "The meter USB0::0x28E9::0x0285::KM4473N1::INSTR was found but could not be opened (VI_ERROR_IO: An I/O "
           "error occurred.). Without root rights it needs the udev rule that the README and the manual describe: "
           "install it, then unplug and replug the meter.";
    QTest::newRow("any other status")
        << int(Tessaly::OpenFailure::VisaError) << 2 << "The VISA library failed: VI_ERROR_IO: An I/O error occurred.";
}

void WidgetTest::connectFailureTexts()
{
    QFETCH(int, reason);
    QFETCH(int, seen);
    QFETCH(QString, text);
    Tessaly::OpenFailure failure;
    failure.reason = Tessaly::OpenFailure::Reason(reason);
    failure.instrumentsSeen = seen;
    failure.resource = QStringLiteral("USB0::0x28E9::0x0285::KM4473N1::INSTR");
    failure.status = VI_ERROR_IO;
    failure.statusText = QStringLiteral("VI_ERROR_IO: An I/O error occurred.");
    QCOMPARE(LinkTexts::openFailure(failure, QStringLiteral("KM4473N/KM4475N")), text);
}

void WidgetTest::connectAndDisconnect()
{
    ModalAnswerer answerer;
    const auto meter = attachMeter();
    WindowFixture fixture;

    QCOMPARE(linkState(fixture), QStringLiteral("Not connected"));
    fixture.action("actionConnect")->trigger();
    QCOMPARE(linkActions(fixture), Connected);
    QCOMPARE(linkState(fixture), QStringLiteral("Connected to USB0::0x28E9::0x0285::KM4473N-SIM::INSTR (simulated)"));
    // The link is alive: the meter is put into remote mode and polled.
    QTRY_VERIFY_WITH_TIMEOUT(meter->isRemote(), LinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(sentCommandStartingWith(*meter, "Fetch?"), LinkTimeoutMs);

    fixture.action("actionDisconnect")->trigger();
    QCOMPARE(linkActions(fixture), NotConnected);
    QCOMPARE(linkState(fixture), QStringLiteral("Not connected"));
    QVERIFY(answerer.boxes().isEmpty());

    // And the next connection comes up again.
    fixture.action("actionConnect")->trigger();
    QCOMPARE(linkActions(fixture), Connected);
    QTRY_VERIFY_WITH_TIMEOUT(meter->isRemote(), LinkTimeoutMs);
    fixture.action("actionDisconnect")->trigger();
    QCOMPARE(linkActions(fixture), NotConnected);
    QVERIFY(answerer.boxes().isEmpty());
}

void WidgetTest::linkLostWarnsOnce_data()
{
    QTest::addColumn<bool>("goLocal"); // else the meter stops answering
    QTest::addColumn<QString>("warning");
    QTest::newRow("meter goes silent") << false << "Communication timed out, please reconnect.";
    QTest::newRow("meter goes local") << true << "The device has left remote mode, please reconnect.";
}

void WidgetTest::linkLostWarnsOnce()
{
    QFETCH(bool, goLocal);
    QFETCH(QString, warning);

    ModalAnswerer answerer;
    const auto meter = attachMeter();
    // Without the reconnect, which would bring the silent meter's link back.
    QTemporaryDir dir;
    WindowFixture fixture(optionsFileWith(dir, "<Reconnect>0</Reconnect>"));
    LinkActions atBox{};
    answerer.setBoxHandler([&](const ModalAnswerer::Box &) { atBox = linkActions(fixture); });

    fixture.action("actionConnect")->trigger();
    QCOMPARE(linkActions(fixture), Connected);
    QTRY_VERIFY_WITH_TIMEOUT(meter->isRemote(), LinkTimeoutMs);
    if (goLocal) {
        QTRY_VERIFY_WITH_TIMEOUT(sentCommandStartingWith(*meter, "SYSTem:REMote?"), LinkTimeoutMs);
        QVERIFY(answerer.boxes().isEmpty()); // a report of remote mode on never warns
        meter->pressLocal();
    } else {
        meter->goSilentAfter(0);
    }

    QTRY_COMPARE_WITH_TIMEOUT(answerer.boxes().size(), 1, LinkTimeoutMs);
    const ModalAnswerer::Box &box = answerer.boxes().first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QString());
    QCOMPARE(box.text, warning);
    // The link was down before the warning came up.
    QCOMPARE(atBox, NotConnected);
    QCOMPARE(linkActions(fixture), NotConnected);

    // A later report of the same loss must not warn again.
    QTest::qWait(1000);
    QCOMPARE(answerer.boxes().size(), 1);
}

// A tool bar hidden in a saved window state (as an older version allowed)
// is shown again at the next start.
void WidgetTest::savedStateNeverHidesTheToolBar()
{
    QTemporaryDir dir;
    const QString options = dir.filePath(QStringLiteral("options.xml"));
    {
        WindowFixture fixture(options);
        fixture.window()->findChild<QToolBar *>(QStringLiteral("mainToolBar"))->hide();
        fixture.closeWindow();
    }
    QFile file(options);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("<State>"));
    WindowFixture fixture(options);
    QVERIFY(fixture.window()->findChild<QToolBar *>(QStringLiteral("mainToolBar"))->isVisible());
}

void WidgetTest::closingWhileConnectedClosesTheLink()
{
    ModalAnswerer answerer;
    const auto meter = attachMeter();
    WindowFixture fixture;
    fixture.action("actionConnect")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(meter->isRemote(), LinkTimeoutMs);

    fixture.action("actionClose")->trigger();
    QVERIFY(!fixture.window()->isVisible());
    QCOMPARE(linkActions(fixture), NotConnected);
    QVERIFY(QFile::exists(fixture.optionsPath()));
    QVERIFY(answerer.boxes().isEmpty());
}
