#include "settingstest.h"

#include "apptestsupport.h"
#include "modalanswerer.h"
#include "optiondialog.h"
#include "optionsfile.h"
#include "widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using Elements = QList<QPair<QString, QString>>;

// The elements under <options>, in file order, with their text.
Elements readElements(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Elements elements;
    QXmlStreamReader xml(&file);
    xml.readNextStartElement();
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        elements.append({name, xml.readElementText()});
    }
    return elements;
}

QString elementText(const Elements &elements, const QString &name)
{
    for (const auto &element : elements) {
        if (element.first == name)
            return element.second;
    }
    return QStringLiteral("<missing>");
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

struct DialogFields
{
    QSpinBox *samplePoints;
    QSpinBox *sampleRate;
    QCheckBox *infinite;
    QCheckBox *reconnect;
};

DialogFields fieldsOf(QDialog *dialog)
{
    return {dialog->findChild<QSpinBox *>(QStringLiteral("spinSamplePoints")),
            dialog->findChild<QSpinBox *>(QStringLiteral("spinSampleRate")),
            dialog->findChild<QCheckBox *>(QStringLiteral("infinite")),
            dialog->findChild<QCheckBox *>(QStringLiteral("chkReconnect"))};
}

void clickButton(QDialog *dialog, const char *name)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>(QString::fromLatin1(name)), Qt::LeftButton);
}

// Opens the options dialog of the window and lets `act` fill and end it.
void runOptions(const WindowFixture &fixture, const std::function<void(QDialog *)> &act)
{
    ModalAnswerer answerer;
    answerer.setDialogHandler(act);
    fixture.action("actionOption")->trigger();
    QCOMPARE(answerer.dialogCount(), 1);
    QVERIFY(answerer.boxes().isEmpty());
}

const Elements DefaultValues{{"FixedLanguage", "0"}, {"Language", ""},  {"SamplePoints", "2147483647"},
                             {"Infinite", "1"},      {"SampleRate", "0"}, {"SkipRepeat", "0"},
                             {"Journal", "1"},        {"Reconnect", "1"},  {"SendInflux", ""},
                             {"SendMqtt", ""},        {"Limits", ""},      {"StopWhen", ""}};

// The non-layout elements of a file.
Elements valuesOf(const QString &path)
{
    Elements elements = readElements(path);
    elements.erase(std::remove_if(elements.begin(), elements.end(),
                                  [](const QPair<QString, QString> &e) {
                                      return e.first == QLatin1String("Geometry")
                                             || e.first == QLatin1String("State")
                                             || e.first == QLatin1String("splitter_2");
                                  }),
                   elements.end());
    return elements;
}

Elements withValue(Elements elements, const QString &name, const QString &value)
{
    for (auto &element : elements) {
        if (element.first == name)
            element.second = value;
    }
    return elements;
}

} // namespace

void SettingsTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void SettingsTest::firstStartWritesEveryDefault()
{
    WindowFixture fixture;
    QVERIFY(!QFile::exists(fixture.optionsPath()));
    fixture.closeWindow();

    QFile file(fixture.optionsPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.startsWith(R"(<?xml version="1.0" encoding="UTF-8"?>)"));
    QVERIFY(content.contains("\n<options>\n    <Geometry>"));

    const Elements elements = readElements(fixture.optionsPath());
    QStringList names;
    for (const auto &element : elements)
        names << element.first;
    QCOMPARE(names, QStringList({"Geometry", "State", "splitter_2", "FixedLanguage", "Language",
                                 "SamplePoints", "Infinite", "SampleRate", "SkipRepeat", "Journal", "Reconnect",
                                 "SendInflux", "SendMqtt", "Limits", "StopWhen"}));
    const QRegularExpression lowerHex(QStringLiteral("^([0-9a-f]{2})+$"));
    for (const char *layout : {"Geometry", "State", "splitter_2"})
        QVERIFY2(lowerHex.match(elementText(elements, layout)).hasMatch(), layout);
    QCOMPARE(valuesOf(fixture.optionsPath()), DefaultValues);
}

void SettingsTest::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("samplePoints");
    QTest::addColumn<bool>("infinite");
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<bool>("skipRepeat");
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("fixedLanguage");
    QTest::addColumn<QByteArray>("geometry");

    const int maxPoints = 2147483647;
    QTest::newRow("empty file") << QByteArray() << maxPoints << true << 0 << false << "" << false << QByteArray();
    QTest::newRow("only the sample rate")
        << QByteArray("<options><SampleRate>250</SampleRate></options>")
        << maxPoints << true << 250 << false << "" << false << QByteArray();
    QTest::newRow("names are case-sensitive")
        << QByteArray("<options><samplerate>250</samplerate><SAMPLEPOINTS>7</SAMPLEPOINTS></options>")
        << maxPoints << true << 0 << false << "" << false << QByteArray();
    QTest::newRow("malformed: what came before the error stays")
        << QByteArray("<options><SampleRate>250</SampleRate><Infinite>0</Infinite></options>"
                      "<SkipRepeat>1</SkipRepeat>")
        << maxPoints << false << 250 << false << "" << false << QByteArray();
    QTest::newRow("not a number is 0, clamped to the dialog's least")
        << QByteArray("<options><SamplePoints>many</SamplePoints></options>")
        << 1 << true << 0 << false << "" << false << QByteArray();
    QTest::newRow("negative counts clamped")
        << QByteArray("<options><SamplePoints>-5</SamplePoints><SampleRate>-100</SampleRate></options>")
        << 1 << true << 0 << false << "" << false << QByteArray();
    QTest::newRow("counts beyond an int clamped")
        << QByteArray("<options><SamplePoints>99999999999</SamplePoints><SampleRate>4294967296</SampleRate></options>")
        << maxPoints << true << maxPoints << false << "" << false << QByteArray();
    QTest::newRow("every setting")
        << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<options>\n"
                      "    <Geometry>01d9d0cb</Geometry>\n    <FixedLanguage>1</FixedLanguage>\n"
                      "    <Language>OTHER</Language>\n    <SamplePoints>500</SamplePoints>\n"
                      "    <Infinite>0</Infinite>\n    <SampleRate>1000</SampleRate>\n"
                      "    <SkipRepeat>1</SkipRepeat>\n</options>\n")
        << 500 << false << 1000 << true << "OTHER" << true << QByteArray::fromHex("01d9d0cb");
    QTest::newRow("only the first text of an element counts")
        << QByteArray("<options><SampleRate>250<!-- was -->300</SampleRate></options>")
        << maxPoints << true << 250 << false << "" << false << QByteArray();
    QTest::newRow("unknown elements are skipped")
        << QByteArray("<options><Colour>red</Colour><x><SampleRate>5</SampleRate></x></options>")
        << maxPoints << true << 5 << false << "" << false << QByteArray();
}

void SettingsTest::read()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.xml"));
    writeFile(path, content);

    OptionsFile::Values values;
    OptionsFile(path).read(values);
    QTEST(values.samplePoints, "samplePoints");
    QTEST(values.infinite, "infinite");
    QTEST(values.sampleRate, "sampleRate");
    QTEST(values.skipRepeat, "skipRepeat");
    QTEST(values.language, "language");
    QTEST(values.fixedLanguage, "fixedLanguage");
    QTEST(values.geometry, "geometry");
    QVERIFY(values.state.isEmpty());
    QVERIFY(values.splitter.isEmpty());
}

void SettingsTest::windowAppliesOnlyWhatTheFileSets()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.xml"));
    writeFile(path, "<options><SampleRate>250</SampleRate></options>");

    WindowFixture fixture(path);
    runOptions(fixture, [](QDialog *dialog) {
        const DialogFields fields = fieldsOf(dialog);
        QCOMPARE(fields.sampleRate->value(), 250);
        QCOMPARE(fields.samplePoints->value(), 2147483647);
        QVERIFY(fields.infinite->isChecked());
        dialog->reject();
    });
    fixture.closeWindow();
    QCOMPARE(valuesOf(path), withValue(DefaultValues, "SampleRate", "250"));
}

void SettingsTest::layoutKeptAcrossRuns()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.xml"));
    QByteArray splitterState;
    QSize size;
    {
        WindowFixture fixture(path);
        // Larger than the window's panels need on any screen.
        size = fixture.window()->minimumSizeHint().expandedTo(QSize(1000, 600)) + QSize(100, 50);
        fixture.window()->resize(size);
        auto *splitter = fixture.window()->findChild<QSplitter *>(QStringLiteral("splitter_2"));
        splitter->setSizes({400, 650});
        splitterState = splitter->saveState();
        fixture.closeWindow();
    }
    WindowFixture again(path);
    QCOMPARE(again.window()->size(), size);
    QCOMPARE(again.window()->findChild<QSplitter *>(QStringLiteral("splitter_2"))->saveState(), splitterState);
}

void SettingsTest::unwritableFileWarnsAndWindowCloses()
{
    // A directory that cannot be created, whoever runs the test.
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("not-a-directory"));
    writeFile(blocker, "x");
    const QString path = blocker + QStringLiteral("/options.xml");

    ModalAnswerer answerer;
    WindowFixture fixture(path);
    QVERIFY(fixture.window()->close());
    QVERIFY(!fixture.window()->isVisible());
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().icon, QMessageBox::Warning);
    QCOMPARE(answerer.boxes().first().title, QString());
    QCOMPARE(answerer.boxes().first().text, QStringLiteral("Can not open file."));
}

// A full disk, stood in for by a file-size limit: the writes fail, and the
// old file must stay as it was, with the warning shown.
void SettingsTest::fullDiskKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.xml"));
    const QByteArray old = "<options><SampleRate>250</SampleRate></options>";
    writeFile(path, old);

    ModalAnswerer answerer;
    WindowFixture fixture(path);
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit full = saved;
    full.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
    const bool closed = fixture.window()->close();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(closed);
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().text, QStringLiteral("Can not open file."));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"options.xml"});
}

void SettingsTest::onlyRegularFilesReplaced_data()
{
    QTest::addColumn<QString>("kind"); // what stands at options.xml
    QTest::addColumn<bool>("saved");
    QTest::newRow("link to a regular file: that file replaced") << "link to file" << true;
    QTest::newRow("link to a FIFO") << "link to fifo" << false;
    QTest::newRow("link leading nowhere") << "dangling link" << false;
    QTest::newRow("directory") << "directory" << false;
}

// Never renamed over: what is not a regular file stays as it is, and the
// message list says the settings were not saved.
void SettingsTest::onlyRegularFilesReplaced()
{
    QFETCH(QString, kind);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.xml"));
    const QString target = dir.filePath(QStringLiteral("elsewhere"));
    if (kind == "link to file")
        writeFile(target, "<options><SampleRate>250</SampleRate></options>");
    else if (kind == "link to fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    if (kind == "directory")
        QVERIFY(QDir().mkpath(path));
    else
        QVERIFY(QFile::link(target, path));

    ModalAnswerer answerer;
    WindowFixture fixture(path);
    QVERIFY(fixture.window()->close());
    QVERIFY(answerer.boxes().isEmpty());
    QStringList messages;
    const auto *list = fixture.window()->findChild<QListWidget *>(QStringLiteral("listWidget"));
    for (int i = 0; i < list->count(); ++i)
        messages << list->item(i)->text();

    const QFileInfo atPath(path);
    QCOMPARE(atPath.isSymLink(), kind != "directory");
    if (saved) {
        QCOMPARE(messages, QStringList());
        QCOMPARE(valuesOf(target), withValue(DefaultValues, "SampleRate", "250"));
    } else {
        QCOMPARE(messages, QStringList{"Settings not saved: " + path + " is not a regular file."});
        QCOMPARE(QFileInfo(target).isFile(), false);
        QCOMPARE(atPath.isDir(), kind == "directory");
    }
}

void SettingsTest::unreadableFileKeptAsBad_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("kept");
    QTest::newRow("mistyped hand edit") << QByteArray("<options><SampleRate>250</SampleRate><Infinite>1</Infinit>") << true;
    QTest::newRow("well-formed") << QByteArray("<options><SampleRate>250</SampleRate></options>") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

// A file that could not be read is copied aside once before it is replaced,
// in place of any older copy.
void SettingsTest::unreadableFileKeptAsBad()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.xml"));
    const QString bad = path + QStringLiteral(".bad");
    writeFile(path, content);
    writeFile(bad, "an older copy");

    OptionsFile file(path);
    OptionsFile::Values values;
    file.read(values);
    QCOMPARE(values.sampleRate, content.isEmpty() ? 0 : 250);
    for (int save = 0; save < 2; ++save)
        QCOMPARE(file.write(values), OptionsFile::WriteResult::Written);
    QFile copy(bad);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), kept ? content : QByteArray("an older copy"));
    QCOMPARE(valuesOf(path), withValue(DefaultValues, "SampleRate", content.isEmpty() ? "0" : "250"));
}

void SettingsTest::fileBesideProgramOrInUserConfig()
{
    QTemporaryDir programDir;
    QCOMPARE(OptionsFile::pathFor(programDir.path()), programDir.filePath(QStringLiteral("options.xml")));

    const QString oldName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("dmmpanel"));
    const QString userPath = OptionsFile::pathFor(programDir.filePath(QStringLiteral("missing")));
    QCoreApplication::setApplicationName(oldName);
    QVERIFY2(userPath.endsWith(QStringLiteral("/dmmpanel/options.xml")), qPrintable(userPath));
    QVERIFY(userPath.startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)));

    // The per-user directory need not exist yet; writing creates it.
    QDir(QFileInfo(userPath).absolutePath()).removeRecursively();
    OptionsFile file(userPath);
    OptionsFile::Values values;
    values.sampleRate = 40;
    QCOMPARE(file.write(values), OptionsFile::WriteResult::Written);
    OptionsFile::Values readBack;
    file.read(readBack);
    QCOMPARE(readBack.sampleRate, 40);
    QDir(QFileInfo(userPath).absolutePath()).removeRecursively();
}

void SettingsTest::infiniteDisablesSamplePoints()
{
    OptionDialog dialog(true);
    dialog.show();
    const DialogFields fields = fieldsOf(&dialog);
    dialog.setInfinite(true);
    QVERIFY(!fields.samplePoints->isEnabled());
    QTest::mouseClick(fields.infinite, Qt::LeftButton);
    QVERIFY(!fields.infinite->isChecked());
    QVERIFY(fields.samplePoints->isEnabled());
    QTest::mouseClick(fields.infinite, Qt::LeftButton);
    QVERIFY(!fields.samplePoints->isEnabled());
    dialog.setInfinite(false);
    QVERIFY(fields.samplePoints->isEnabled());
}

void SettingsTest::languageRowOnlyWhenAsked()
{
    for (const bool hide : {true, false}) {
        OptionDialog dialog(hide);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
        QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("cbbLanguage"))->isVisible(), !hide);
        QStringList labels;
        for (const QLabel *label : dialog.findChildren<QLabel *>()) {
            if (!label->text().isEmpty())
                labels << label->text();
        }
        // The labels of "Send readings to" are made first.
        const QStringList expected = hide ? QStringList{"InfluxDB", "MQTT", "Sample points", "Stop when", "Sample rate",
                                                        "Journal"}
                                          : QStringList{"InfluxDB", "MQTT", "Language", "Sample points", "Stop when",
                                                        "Sample rate", "Journal"};
        QCOMPARE(labels, expected);
    }
}

void SettingsTest::languageChangeAsksForRestart()
{
    ModalAnswerer answerer;
    OptionDialog dialog(false);
    dialog.setLanguageIndex(1);
    QVERIFY(answerer.boxes().isEmpty());
    QCOMPARE(dialog.languageIndex(), 1);

    dialog.findChild<QComboBox *>(QStringLiteral("cbbLanguage"))->setCurrentIndex(0);
    QCOMPARE(dialog.languageIndex(), 0);
    QCOMPARE(answerer.boxes().size(), 1);
    QCOMPARE(answerer.boxes().first().icon, QMessageBox::Information);
    QCOMPARE(answerer.boxes().first().text,
             QStringLiteral("Please restart application for translation to take effect."));
}

void SettingsTest::cancelChangesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.xml"));
    writeFile(path, "<options><Language>OTHER</Language><SampleRate>100</SampleRate></options>");

    WindowFixture fixture(path);
    runOptions(fixture, [](QDialog *dialog) {
        const DialogFields fields = fieldsOf(dialog);
        fields.sampleRate->setValue(900);
        QTest::mouseClick(fields.infinite, Qt::LeftButton);
        fields.samplePoints->setValue(12);
        clickButton(dialog, "btnCancel");
    });
    fixture.closeWindow();
    Elements expected = withValue(DefaultValues, "SampleRate", "100");
    expected = withValue(expected, "Language", "OTHER");
    QCOMPARE(valuesOf(path), expected);
}

void SettingsTest::okAppliesEveryValue()
{
    WindowFixture fixture;
    runOptions(fixture, [](QDialog *dialog) {
        const DialogFields fields = fieldsOf(dialog);
        QVERIFY(!fields.samplePoints->isEnabled());
        QCOMPARE(fields.sampleRate->suffix(), QStringLiteral("mS"));
        fields.sampleRate->setValue(250);
        QTest::mouseClick(fields.infinite, Qt::LeftButton);
        fields.samplePoints->setValue(100);
        QVERIFY(fields.reconnect->isChecked());
        fields.reconnect->setChecked(false);
        clickButton(dialog, "btnOk");
    });
    // Kept by the window until it closes, and shown again meanwhile.
    QVERIFY(!QFile::exists(fixture.optionsPath()));
    runOptions(fixture, [](QDialog *dialog) {
        const DialogFields fields = fieldsOf(dialog);
        QCOMPARE(fields.sampleRate->value(), 250);
        QCOMPARE(fields.samplePoints->value(), 100);
        QVERIFY(fields.samplePoints->isEnabled());
        QVERIFY(!fields.reconnect->isChecked());
        dialog->reject();
    });
    fixture.closeWindow();
    const Elements expected{{"FixedLanguage", "0"}, {"Language", "EN"},  {"SamplePoints", "100"},
                            {"Infinite", "0"},      {"SampleRate", "250"}, {"SkipRepeat", "0"},
                            {"Journal", "1"},       {"Reconnect", "0"},    {"SendInflux", ""},
                            {"SendMqtt", ""},       {"Limits", ""},        {"StopWhen", ""}};
    QCOMPARE(valuesOf(fixture.optionsPath()), expected);
}

void SettingsTest::skipRepeatCarriedThrough_data()
{
    QTest::addColumn<QString>("skipRepeat");
    QTest::newRow("on") << "1";
    QTest::newRow("off") << "0";
}

void SettingsTest::skipRepeatCarriedThrough()
{
    QFETCH(QString, skipRepeat);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("options.xml"));
    writeFile(path, QStringLiteral("<options><SkipRepeat>%1</SkipRepeat></options>").arg(skipRepeat).toUtf8());

    WindowFixture fixture(path);
    runOptions(fixture, [](QDialog *dialog) { clickButton(dialog, "btnOk"); });
    fixture.closeWindow();
    QCOMPARE(elementText(readElements(path), QStringLiteral("SkipRepeat")), skipRepeat);
}
