#include "usbtmc.h"

#include "diagnostics.h"
#include "resourcename.h"

#include <linux/usb/tmc.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <dirent.h>

namespace visa::usbtmc {

namespace {

using Clock = std::chrono::steady_clock;

// The kernel driver refuses time-outs below this.
constexpr ViUInt32 MinDriverTimeoutMs = 100;
constexpr unsigned char EndOfMessage = 0x01; // bit of the last transfer's attributes
// How long an I/O error waits for the kernel to notice that the device has gone.
constexpr auto DeviceGoneWait = std::chrono::seconds(1);

ViStatus statusFromErrno(int error)
{
    switch (error) {
    case ETIMEDOUT:
        return VI_ERROR_TMO;
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
    case ENOENT:
        return VI_ERROR_CONN_LOST;
    default:
        return VI_ERROR_IO;
    }
}

std::string readLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

bool readHexId(const std::string &path, unsigned &id)
{
    const std::string text = readLine(path);
    if (text.empty())
        return false;
    char *end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    if (*end != '\0' || value > 0xFFFF)
        return false;
    id = static_cast<unsigned>(value);
    return true;
}

// Number N of a "usbtmcN" entry, or -1.
long nodeNumber(const std::string &entry)
{
    static const std::string prefix = "usbtmc";
    if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const std::string digits = entry.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })
        || digits.size() > 9)
        return -1;
    return std::stol(digits);
}

std::string usbDeviceDir(const std::string &entryDir)
{
    // device -> the interface directory; the USB device's attributes are one level up.
    char resolved[PATH_MAX];
    if (!::realpath((entryDir + "/device").c_str(), resolved))
        return {};
    std::string interfaceDir(resolved);
    const auto slash = interfaceDir.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string() : interfaceDir.substr(0, slash);
}

// Link to a node of the kernel driver, or to a stand-in (a pty) that
// takes none of its ioctls: then the session's time-out is kept here with
// poll(), and a line feed ends a message.
class UsbtmcConnection : public Connection
{
public:
    UsbtmcConnection(int fd, bool driverIoctls) : m_fd(fd), m_driverIoctls(driverIoctls) {}
    ~UsbtmcConnection() override { ::close(m_fd); }

    ViStatus write(const ViByte *buf, ViUInt32 cnt, ViUInt32 &written, ViUInt32 timeoutMs) override
    {
        written = 0;
        if (m_driverIoctls) {
            applyDriverTimeout(timeoutMs);
        } else if (m_staleReplyPossible) {
            discardPendingInput();
            m_staleReplyPossible = false;
        }
        const Clock::time_point start = Clock::now();
        while (written < cnt) {
            if (!m_driverIoctls) {
                const ViStatus ready = waitFor(POLLOUT, start, timeoutMs);
                if (ready != VI_SUCCESS)
                    return ready;
            }
            const ssize_t n = ::write(m_fd, buf + written, cnt - written);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return failureStatus(errno);
            }
            written += static_cast<ViUInt32>(n);
        }
        return VI_SUCCESS;
    }

    ViStatus read(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, ViUInt32 timeoutMs) override
    {
        return m_driverIoctls ? readFromDriver(buf, cnt, got, timeoutMs) : readFromStandIn(buf, cnt, got, timeoutMs);
    }

    ViStatus clear() override
    {
        if (m_driverIoctls) // the driver runs the USBTMC clear sequence and empties its buffers
            return ::ioctl(m_fd, USBTMC_IOCTL_CLEAR) == 0 ? VI_SUCCESS : statusFromErrno(errno);
        discardPendingInput();
        m_staleReplyPossible = false;
        return VI_SUCCESS;
    }

private:
    // A transfer cut short by an unplug fails with whatever the host
    // controller saw (EPROTO, EPIPE, ...) before the kernel has noticed that
    // the device is gone; once it has, the driver refuses every call with
    // ENODEV. An I/O error followed by that within a short wait is a lost
    // connection.
    ViStatus failureStatus(int error) const
    {
        const ViStatus status = statusFromErrno(error);
        if (status != VI_ERROR_IO || !m_driverIoctls)
            return status;
        const Clock::time_point start = Clock::now();
        do {
            __u32 timeoutMs = 0;
            if (::ioctl(m_fd, USBTMC_IOCTL_GET_TIMEOUT, &timeoutMs) != 0)
                return errno == ENODEV ? VI_ERROR_CONN_LOST : status;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (Clock::now() - start < DeviceGoneWait);
        return status;
    }

    void applyDriverTimeout(ViUInt32 timeoutMs)
    {
        const ViUInt32 wanted = std::max(timeoutMs, MinDriverTimeoutMs);
        if (wanted == m_driverTimeoutMs)
            return;
        __u32 value = wanted;
        if (::ioctl(m_fd, USBTMC_IOCTL_SET_TIMEOUT, &value) == 0)
            m_driverTimeoutMs = wanted;
    }

    // The reply may still come: drop it at the device, with a device clear
    // rather than USBTMC_IOCTL_ABORT_BULK_IN. The driver's abort names the
    // transfer by the tag after the timed-out request's (it records the tag
    // once its counter has moved on), so a device that checks the tag refuses
    // it, keeps the reply it owes and later hands it to the next query. The
    // clear drops everything the device still owes, whatever its tag.
    void abortRead()
    {
        if (clear() != VI_SUCCESS)
            ::ioctl(m_fd, USBTMC_IOCTL_ABORT_BULK_IN);
    }

    // The kernel driver bounds each transfer by its own time-out; the
    // session's time-out bounds the whole read, however many transfers it takes.
    ViStatus readFromDriver(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, ViUInt32 timeoutMs)
    {
        const Clock::time_point start = Clock::now();
        got = 0;
        while (got < cnt) {
            const ViUInt32 leftMs = timeLeftMs(start, timeoutMs);
            if (leftMs == 0 && got > 0) {
                abortRead();
                return VI_ERROR_TMO;
            }
            applyDriverTimeout(leftMs);
            const ssize_t n = ::read(m_fd, buf + got, cnt - got);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const int error = errno;
                if (error == ETIMEDOUT)
                    abortRead();
                return failureStatus(error);
            }
            const ViUInt32 asked = cnt - got;
            got += static_cast<ViUInt32>(n);
            unsigned char attributes = 0;
            const bool ended = ::ioctl(m_fd, USBTMC_IOCTL_MSG_IN_ATTR, &attributes) == 0
                                   ? (attributes & EndOfMessage) != 0
                                   : static_cast<ViUInt32>(n) < asked; // older drivers: a short transfer ends it
            if (ended || n == 0)
                return VI_SUCCESS;
        }
        return VI_SUCCESS_MAX_CNT;
    }

    ViStatus readFromStandIn(ViByte *buf, ViUInt32 cnt, ViUInt32 &got, ViUInt32 timeoutMs)
    {
        got = 0;
        const Clock::time_point start = Clock::now();
        for (;;) {
            const std::size_t lineFeed = m_pending.find('\n');
            if (lineFeed != std::string::npos && lineFeed < cnt)
                return handOut(buf, lineFeed + 1, got, VI_SUCCESS);
            if (m_pending.size() >= cnt)
                return handOut(buf, cnt, got, VI_SUCCESS_MAX_CNT);
            ViStatus status = waitFor(POLLIN, start, timeoutMs);
            if (status == VI_SUCCESS)
                status = appendAvailableInput();
            if (status != VI_SUCCESS) {
                m_pending.clear(); // a part answer must not prefix the next one
                m_staleReplyPossible = status == VI_ERROR_TMO;
                return status;
            }
        }
    }

    ViStatus handOut(ViByte *buf, std::size_t count, ViUInt32 &got, ViStatus status)
    {
        std::memcpy(buf, m_pending.data(), count);
        m_pending.erase(0, count);
        got = static_cast<ViUInt32>(count);
        return status;
    }

    // Milliseconds left of `timeoutMs` since `start`; VI_TMO_INFINITE stays.
    static ViUInt32 timeLeftMs(Clock::time_point start, ViUInt32 timeoutMs)
    {
        if (timeoutMs == VI_TMO_INFINITE)
            return timeoutMs;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        return static_cast<ViUInt32>(std::clamp<long long>(static_cast<long long>(timeoutMs) - elapsed.count(), 0,
                                                           timeoutMs));
    }

    ViStatus waitFor(short events, Clock::time_point start, ViUInt32 timeoutMs)
    {
        for (;;) {
            const ViUInt32 leftMs = timeLeftMs(start, timeoutMs);
            const int waitMs = leftMs == VI_TMO_INFINITE ? -1 : static_cast<int>(std::min<ViUInt32>(leftMs, INT_MAX));
            pollfd p{m_fd, events, 0};
            const int ready = ::poll(&p, 1, waitMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0)
                return statusFromErrno(errno);
            if (ready == 0)
                return VI_ERROR_TMO;
            if (p.revents & POLLNVAL)
                return VI_ERROR_CONN_LOST;
            return VI_SUCCESS; // readable, writable, or hung up: the read or write tells which
        }
    }

    ViStatus appendAvailableInput()
    {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return statusFromErrno(errno);
            if (n == 0)
                return VI_ERROR_CONN_LOST; // the other end is gone
            m_pending.append(chunk, static_cast<std::size_t>(n));
            return VI_SUCCESS;
        }
    }

    // Drops what has arrived so far, up to one message's worth: a stand-in
    // that keeps sending must not hold the next write for ever.
    void discardPendingInput()
    {
        m_pending.clear();
        std::size_t dropped = 0;
        pollfd p{m_fd, POLLIN, 0};
        while (dropped <= MaxMessageBytes && ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN)
               && appendAvailableInput() == VI_SUCCESS) {
            dropped += m_pending.size();
            m_pending.clear();
        }
    }

    const int m_fd;
    const bool m_driverIoctls;
    ViUInt32 m_driverTimeoutMs = 0;
    std::string m_pending;             // stand-in only: bytes read but not handed out
    bool m_staleReplyPossible = false; // stand-in only: a timed-out answer may still arrive
};

} // namespace

std::vector<Device> scan(const std::string &sysfsClassDir, const std::string &devDir)
{
    std::vector<std::pair<long, Device>> found;
    DIR *dir = ::opendir(sysfsClassDir.c_str());
    if (!dir)
        return {};
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name(entry->d_name);
        const long number = nodeNumber(name);
        if (number < 0)
            continue;
        const std::string usbDir = usbDeviceDir(sysfsClassDir + "/" + name);
        unsigned vendor = 0;
        unsigned product = 0;
        if (usbDir.empty() || !readHexId(usbDir + "/idVendor", vendor) || !readHexId(usbDir + "/idProduct", product))
            continue;
        const ResourceName resource{ResourceName::Kind::UsbInstr, 0, static_cast<ViUInt16>(vendor),
                                    static_cast<ViUInt16>(product), readLine(usbDir + "/serial")};
        found.push_back({number, Device{resource.canonical(), devDir + "/" + name}});
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<Device> devices;
    for (auto &entry : found)
        devices.push_back(std::move(entry.second));
    return devices;
}

ViStatus open(const std::string &node, std::unique_ptr<Connection> &connection)
{
    // Only a character device is an instrument; a regular file left at the
    // node's name (by a write with nothing plugged in) would take every
    // command and answer none.
    const auto notADevice = [&node] {
        reportOnce(node + " is not a device");
        return VI_ERROR_RSRC_NFOUND;
    };
    const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == EISDIR)
        return notADevice();
    if (fd < 0)
        return errno == ENOENT || errno == ENODEV || errno == ENXIO ? VI_ERROR_RSRC_NFOUND : VI_ERROR_IO;
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        ::close(fd);
        return notADevice();
    }
    __u32 probe = 2000;
    const bool driverIoctls = ::ioctl(fd, USBTMC_IOCTL_SET_TIMEOUT, &probe) == 0;
    connection = std::make_unique<UsbtmcConnection>(fd, driverIoctls);
    return VI_SUCCESS;
}

} // namespace visa::usbtmc
