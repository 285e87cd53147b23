#pragma once
// dmmgadget run as a child process: the meter on the USB bus of this machine,
// seen by the kernel's usbtmc driver.

#include "visa.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <csignal>

class GadgetProcess
{
public:
    static constexpr const char *Resource = "USB0::0x28E9::0x0285::KM4473NG0001::INSTR";
    static constexpr const char *CommandLog = "/tmp/dmmgadget-commands.log";

    ~GadgetProcess() { stop(); }

    // Starts the gadget with `arguments` and waits until its resource is listed.
    bool start(const QStringList &arguments = {})
    {
        stop();
        QFile::remove(CommandLog);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QCoreApplication::applicationDirPath() + "/dmmgadget",
                        QStringList{"--packet-size", "16", "--log", CommandLog} + arguments);
        return m_process.waitForStarted() && waitUntilListed(true);
    }

    // Ends the gadget (it leaves the bus) and waits until the resource is gone.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        m_process.terminate();
        return m_process.waitForFinished(20000) && waitUntilListed(false);
    }

    void signal(int number) { ::kill(static_cast<pid_t>(m_process.processId()), number); }
    void unplug() { signal(SIGUSR1); }
    void plugBackIn() { signal(SIGUSR2); }

    // Waits up to 20 s until the resource is listed (or gone).
    static bool waitUntilListed(bool listed)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            if (isListed() == listed)
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    static bool isListed()
    {
        ViSession rm = VI_NULL;
        if (viOpenDefaultRM(&rm) < VI_SUCCESS)
            return false;
        ViChar name[VI_FIND_BUFLEN];
        const bool found = viFindRsrc(rm, Resource, VI_NULL, VI_NULL, name) == VI_SUCCESS;
        viClose(rm);
        return found;
    }

    static QStringList commandLog()
    {
        QFile file(CommandLog);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    QProcess m_process;
};
