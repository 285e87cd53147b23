#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// A stand-in for /sys/class/usbmisc and /dev: usbtmcN entries whose device
// link leads to an interface directory below the USB device's attribute
// files, and nodes that are ptys whose master end plays the instrument.
class FakeUsbtmcTree
{
public:
    FakeUsbtmcTree()
    {
        QDir().mkpath(classDir());
        QDir().mkpath(devDir());
    }

    QString classDir() const { return m_root.path() + "/class/usbmisc"; }
    QString devDir() const { return m_root.path() + "/dev"; }
    bool isValid() const { return m_root.isValid(); }

    // Lists usbtmc<number> with the given attribute files (a null serial: no file).
    bool addDevice(int number, const QByteArray &idVendor, const QByteArray &idProduct, const QByteArray &serial)
    {
        const QString usbDir = QStringLiteral("%1/devices/usb1/1-%2").arg(m_root.path()).arg(number);
        const QString interfaceDir = usbDir + QStringLiteral("/1-%1:1.0").arg(number);
        const QString entryDir = QStringLiteral("%1/usbtmc%2").arg(classDir()).arg(number);
        if (!QDir().mkpath(interfaceDir) || !QDir().mkpath(entryDir))
            return false;
        return writeFile(usbDir + "/idVendor", idVendor) && writeFile(usbDir + "/idProduct", idProduct)
               && (serial.isNull() || writeFile(usbDir + "/serial", serial))
               && QFile::link(interfaceDir, entryDir + "/device");
    }

    void removeDevice(int number)
    {
        QDir(QStringLiteral("%1/usbtmc%2").arg(classDir()).arg(number)).removeRecursively();
        QFile::remove(nodePath(number));
    }

    // Makes /dev/usbtmc<number> a raw pty; returns the master end (-1 on failure).
    int addPtyNode(int number)
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return -1;
        termios raw{};
        ::tcgetattr(master, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master, TCSANOW, &raw);
        if (!QFile::link(QString::fromLocal8Bit(::ptsname(master)), nodePath(number))) {
            ::close(master);
            return -1;
        }
        return master;
    }

    QString nodePath(int number) const { return QStringLiteral("%1/usbtmc%2").arg(devDir()).arg(number); }

private:
    static bool writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    QTemporaryDir m_root;
};
