#pragma once

#include <QAction>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class Widget;

// An options.xml in `folder` holding only `elements`, for a window to start
// with; its path.
QString optionsFileWith(const QTemporaryDir &folder, const QByteArray &elements);

// A main window whose settings file lives in its own temporary directory.
class WindowFixture
{
public:
    WindowFixture();
    explicit WindowFixture(const QString &optionsPath);
    ~WindowFixture();

    Widget *window() const;
    QAction *action(const char *name) const;
    QString optionsPath() const;
    // XDG_DATA_HOME while the window lives: the journals go below it.
    QString dataFolder() const;
    // The rows of the item table and the message list's lines, as shown.
    int tableRows() const;
    QStringList messages() const;
    // Closes the window the way the user does, and forgets it.
    void closeWindow();

private:
    static std::unique_ptr<Widget> newWindow(const QString &optionsPath, const QString &dataFolder);

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<Widget> widget;
};

// Connect/Disconnect/Start/Stop/Sync Time enabled, in that order.
struct LinkActions
{
    bool connect;
    bool disconnect;
    bool start;
    bool stop;
    bool syncTime;
    bool operator==(const LinkActions &other) const;
};
LinkActions linkActions(const WindowFixture &fixture);
extern const LinkActions NotConnected;
extern const LinkActions Connected;

char *toString(const LinkActions &actions);
