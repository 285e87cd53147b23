#include "usbgadget.h"

#include "tmcdevice.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <endian.h>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned VendorId = 0x28E9;
constexpr unsigned ProductId = 0x0285;
constexpr std::size_t HighSpeedPacket = 512;
constexpr const char *FunctionName = "ffs.usbtmc";
// Wakes a thread out of a blocking endpoint call when the gadget stops.
const int WakeSignal = SIGRTMIN;

[[noreturn]] void fail(const std::string &what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path);
    out << text;
    out.flush();
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void makeDir(const std::string &path)
{
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        fail("cannot create " + path);
}

bool writeAll(int fd, const void *data, std::size_t size)
{
    const auto *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

struct EndpointPair
{
    usb_interface_descriptor interface;
    usb_endpoint_descriptor_no_audio bulkOut;
    usb_endpoint_descriptor_no_audio bulkIn;
} __attribute__((packed));

EndpointPair endpoints(std::size_t packet)
{
    EndpointPair d{};
    d.interface.bLength = sizeof d.interface;
    d.interface.bDescriptorType = USB_DT_INTERFACE;
    d.interface.bNumEndpoints = 2;
    d.interface.bInterfaceClass = 0xFE; // application specific
    d.interface.bInterfaceSubClass = 0x03; // test and measurement
    d.interface.bInterfaceProtocol = 0x00; // plain USBTMC
    d.interface.iInterface = 1;
    for (auto *ep : {&d.bulkOut, &d.bulkIn}) {
        ep->bLength = sizeof *ep;
        ep->bDescriptorType = USB_DT_ENDPOINT;
        ep->bmAttributes = USB_ENDPOINT_XFER_BULK;
        ep->wMaxPacketSize = htole16(static_cast<std::uint16_t>(packet));
    }
    d.bulkOut.bEndpointAddress = 1 | USB_DIR_OUT;
    d.bulkIn.bEndpointAddress = 2 | USB_DIR_IN;
    return d;
}

struct Descriptors
{
    usb_functionfs_descs_head_v2 header;
    __le32 fullSpeedCount;
    __le32 highSpeedCount;
    EndpointPair fullSpeed;
    EndpointPair highSpeed;
} __attribute__((packed));

struct Strings
{
    usb_functionfs_strings_head header;
    __le16 language;
    char interface[7];
} __attribute__((packed));

void ignoreWake(int) {}

} // namespace

UsbGadget::UsbGadget(const GadgetOptions &options, std::shared_ptr<visa::InProcessInstrument> instrument)
    : m_options(options),
      m_gadgetDir(options.configfsDir + "/dmmgadget"),
      m_ffsDir(options.runDir + "/ffs"),
      m_device(std::make_unique<TmcDevice>(std::move(instrument), options.fullSpeedPacket)),
      m_packet(options.fullSpeedPacket)
{
    struct sigaction wake = {};
    wake.sa_handler = ignoreWake; // no SA_RESTART: a blocked endpoint call returns EINTR
    ::sigaction(WakeSignal, &wake, nullptr);
    removeAll(); // what a killed earlier run left behind
    try {
        createGadget();
        openFunction();
        startThreads();
        bindController();
    } catch (...) {
        stopThreads();
        removeAll();
        throw;
    }
}

UsbGadget::~UsbGadget()
{
    if (!m_udc.empty()) {
        std::ofstream(m_gadgetDir + "/UDC") << "\n"; // off the bus first: the host sees the cable pulled
    }
    stopThreads();
    removeAll();
}

std::string UsbGadget::resourceName() const
{
    char ids[32];
    std::snprintf(ids, sizeof ids, "USB0::0x%04X::0x%04X::", VendorId, ProductId);
    return ids + m_options.serial + "::INSTR";
}

void UsbGadget::createGadget()
{
    char hex[8];
    makeDir(m_gadgetDir);
    std::snprintf(hex, sizeof hex, "0x%04x", VendorId);
    writeFile(m_gadgetDir + "/idVendor", hex);
    std::snprintf(hex, sizeof hex, "0x%04x", ProductId);
    writeFile(m_gadgetDir + "/idProduct", hex);
    writeFile(m_gadgetDir + "/bcdDevice", "0x0100");
    writeFile(m_gadgetDir + "/bcdUSB", "0x0200");
    makeDir(m_gadgetDir + "/strings/0x409");
    writeFile(m_gadgetDir + "/strings/0x409/manufacturer", "dmmpanel");
    writeFile(m_gadgetDir + "/strings/0x409/product", "KM4473N USBTMC gadget");
    writeFile(m_gadgetDir + "/strings/0x409/serialnumber", m_options.serial);
    makeDir(m_gadgetDir + "/configs/c.1");
    writeFile(m_gadgetDir + "/configs/c.1/MaxPower", "100");
    makeDir(m_gadgetDir + "/configs/c.1/strings/0x409");
    writeFile(m_gadgetDir + "/configs/c.1/strings/0x409/configuration", "USBTMC");
    makeDir(m_gadgetDir + "/functions/" + FunctionName);
    const std::string link = m_gadgetDir + "/configs/c.1/" + FunctionName;
    if (::symlink((m_gadgetDir + "/functions/" + FunctionName).c_str(), link.c_str()) != 0 && errno != EEXIST)
        fail("cannot link " + link);
}

void UsbGadget::openFunction()
{
    makeDir(m_options.runDir);
    makeDir(m_ffsDir);
    if (::mount("usbtmc", m_ffsDir.c_str(), "functionfs", 0, nullptr) != 0)
        fail("cannot mount FunctionFS on " + m_ffsDir);
    m_ep0 = ::open((m_ffsDir + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (m_ep0 < 0)
        fail("cannot open " + m_ffsDir + "/ep0");

    Descriptors descriptors{};
    descriptors.header.magic = htole32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    descriptors.header.flags = htole32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    descriptors.header.length = htole32(sizeof descriptors);
    descriptors.fullSpeedCount = htole32(3);
    descriptors.highSpeedCount = htole32(3);
    descriptors.fullSpeed = endpoints(m_options.fullSpeedPacket);
    descriptors.highSpeed = endpoints(HighSpeedPacket);
    Strings strings{};
    strings.header.magic = htole32(FUNCTIONFS_STRINGS_MAGIC);
    strings.header.length = htole32(sizeof strings);
    strings.header.str_count = htole32(1);
    strings.header.lang_count = htole32(1);
    strings.language = htole16(0x0409);
    std::memcpy(strings.interface, "USBTMC", 7);
    if (!writeAll(m_ep0, &descriptors, sizeof descriptors) || !writeAll(m_ep0, &strings, sizeof strings))
        fail("FunctionFS refused the descriptors");

    m_bulkOut = ::open((m_ffsDir + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
    m_bulkIn = ::open((m_ffsDir + "/ep2").c_str(), O_RDWR | O_CLOEXEC);
    if (m_bulkOut < 0 || m_bulkIn < 0)
        fail("cannot open the bulk endpoints in " + m_ffsDir);
}

void UsbGadget::bindController()
{
    DIR *dir = ::opendir(m_options.udcClassDir.c_str());
    if (!dir)
        fail("no USB device controller in " + m_options.udcClassDir);
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            m_udc = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    if (m_udc.empty())
        throw std::runtime_error("no USB device controller in " + m_options.udcClassDir);
    writeFile(m_gadgetDir + "/UDC", m_udc);
}

void UsbGadget::removeAll()
{
    for (int *fd : {&m_bulkIn, &m_bulkOut, &m_ep0}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    struct stat st;
    if (::stat(m_gadgetDir.c_str(), &st) == 0) {
        std::ofstream(m_gadgetDir + "/UDC") << "\n";
        ::unlink((m_gadgetDir + "/configs/c.1/" + FunctionName).c_str());
    }
    ::umount(m_ffsDir.c_str());
    const std::string dirs[] = {"/configs/c.1/strings/0x409", "/configs/c.1", std::string("/functions/") + FunctionName,
                                "/strings/0x409", ""};
    for (const std::string &dir : dirs)
        ::rmdir((m_gadgetDir + dir).c_str());
    m_udc.clear();
}

void UsbGadget::startThreads()
{
    m_stop = false;
    m_workers[0].start([this] { controlLoop(); });
    m_workers[1].start([this] { bulkOutLoop(); });
    m_workers[2].start([this] { bulkInLoop(); });
}

void UsbGadget::stopThreads()
{
    m_stop = true;
    for (Worker &worker : m_workers)
        worker.stop();
}

void UsbGadget::Worker::start(std::function<void()> loop)
{
    finished = false;
    thread = std::thread([this, loop = std::move(loop)] {
        loop();
        finished = true;
    });
}

void UsbGadget::Worker::stop()
{
    if (!thread.joinable())
        return;
    // A signal that lands before the thread blocks is lost: repeat until it is out.
    while (!finished) {
        ::pthread_kill(thread.native_handle(), WakeSignal);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    thread.join();
}

void UsbGadget::controlLoop()
{
    usb_functionfs_event events[4];
    while (!m_stop) {
        const ssize_t n = ::read(m_ep0, events, sizeof events);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            std::cerr << "dmmgadget: control endpoint: " << std::strerror(errno) << '\n';
            return;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof events[0]; ++i) {
            if (events[i].type == FUNCTIONFS_SETUP)
                answerSetup(events[i].u.setup);
            else if (events[i].type == FUNCTIONFS_ENABLE)
                updatePacketSize();
        }
    }
}

void UsbGadget::answerSetup(const usb_ctrlrequest &setup)
{
    const bool in = (setup.bRequestType & USB_DIR_IN) != 0;
    const std::uint16_t length = le16toh(setup.wLength);
    std::optional<std::string> answer;
    if ((setup.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS && in)
        answer = m_device->control(setup.bRequest, le16toh(setup.wValue), length);
    if (answer) {
        writeAll(m_ep0, answer->data(), answer->size());
    } else if (in) {
        [[maybe_unused]] const ssize_t stall = ::read(m_ep0, nullptr, 0); // the wrong direction stalls
    } else {
        [[maybe_unused]] const ssize_t stall = ::write(m_ep0, nullptr, 0);
    }
}

void UsbGadget::updatePacketSize()
{
    std::ifstream in(m_options.udcClassDir + "/" + m_udc + "/current_speed");
    std::string speed;
    std::getline(in, speed);
    const bool fullSpeed = speed == "full-speed" || speed == "low-speed";
    m_packet = fullSpeed ? m_options.fullSpeedPacket : HighSpeedPacket;
    m_device->setMaxPacket(m_packet);
}

void UsbGadget::bulkOutLoop()
{
    // One packet at a time: a read for more would wait for the next message
    // when a message ends on a full packet.
    char buffer[HighSpeedPacket];
    while (!m_stop) {
        const ssize_t n = ::read(m_bulkOut, buffer, std::min<std::size_t>(m_packet, sizeof buffer));
        if (n > 0)
            m_device->receive(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno != EINTR && errno != EAGAIN && errno != ESHUTDOWN)
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // off the bus: wait to be stopped
    }
}

void UsbGadget::bulkInLoop()
{
    while (const auto transfer = m_device->nextTransfer(m_stop)) {
        // Sent whole or dropped: a transfer cut short by an abort is the host's to discard.
        while (!m_stop && !writeAll(m_bulkIn, transfer->data(), transfer->size()) && errno == EINTR) {
        }
        m_device->transferSent();
    }
}
