#include "apptestsupport.h"

#include "widget.h"

#include <QFile>
#include <QListWidget>
#include <QTableView>
#include <QTest>

QString optionsFileWith(const QTemporaryDir &folder, const QByteArray &elements)
{
    const QString path = folder.filePath(QStringLiteral("options.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("<options>" + elements + "</options>") < 0)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

const LinkActions NotConnected{true, false, false, false, false};
const LinkActions Connected{false, true, true, false, true};

WindowFixture::WindowFixture() : WindowFixture(QString())
{
}

WindowFixture::WindowFixture(const QString &optionsPath)
    : path(optionsPath.isEmpty() ? dir.filePath(QStringLiteral("options.xml")) : optionsPath),
      widget(newWindow(path, dir.filePath(QStringLiteral("data"))))
{
    widget->show();
}

WindowFixture::~WindowFixture() = default;

std::unique_ptr<Widget> WindowFixture::newWindow(const QString &optionsPath, const QString &dataFolder)
{
    // Recordings write their journals here, not into the user's data folder.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataFolder));
    return std::make_unique<Widget>(nullptr, optionsPath);
}

QString WindowFixture::dataFolder() const
{
    return dir.filePath(QStringLiteral("data"));
}

Widget *WindowFixture::window() const
{
    return widget.get();
}

int WindowFixture::tableRows() const
{
    return widget->findChild<QTableView *>(QStringLiteral("tv"))->model()->rowCount();
}

QStringList WindowFixture::messages() const
{
    const auto *list = widget->findChild<QListWidget *>(QStringLiteral("listWidget"));
    QStringList lines;
    for (int row = 0; row < list->count(); ++row)
        lines << list->item(row)->text();
    return lines;
}

QAction *WindowFixture::action(const char *name) const
{
    auto *found = widget->findChild<QAction *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no action %s", name);
    return found;
}

QString WindowFixture::optionsPath() const
{
    return path;
}

void WindowFixture::closeWindow()
{
    widget->close();
    widget.reset();
}

bool LinkActions::operator==(const LinkActions &other) const
{
    return connect == other.connect && disconnect == other.disconnect && start == other.start
           && stop == other.stop && syncTime == other.syncTime;
}

LinkActions linkActions(const WindowFixture &fixture)
{
    return {fixture.action("actionConnect")->isEnabled(), fixture.action("actionDisconnect")->isEnabled(),
            fixture.action("actionStart")->isEnabled(), fixture.action("actionStop")->isEnabled(),
            fixture.action("actionSyncTime")->isEnabled()};
}

char *toString(const LinkActions &a)
{
    return QTest::toString(QStringLiteral("connect=%1 disconnect=%2 start=%3 stop=%4 syncTime=%5")
                               .arg(a.connect).arg(a.disconnect).arg(a.start).arg(a.stop).arg(a.syncTime));
}
