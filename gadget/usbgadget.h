#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class TmcDevice;
namespace visa {
class InProcessInstrument;
}

struct GadgetOptions
{
    std::string serial = "KM4473NG0001";
    std::size_t fullSpeedPacket = 64; // 8, 16, 32 or 64
    std::string configfsDir = "/sys/kernel/config/usb_gadget";
    std::string udcClassDir = "/sys/class/udc";
    std::string runDir = "/run/dmmgadget"; // FunctionFS is mounted below it
};

// The instrument as a USBTMC device on this machine's USB device controller:
// a configfs gadget with vendor 0x28E9, product 0x0285 and one FunctionFS
// interface (class 0xFE, subclass 0x03) with a bulk-out and a bulk-in
// endpoint. Constructing it puts the device on the bus, destroying it takes it
// off again and removes every trace in configfs. Needs root, configfs mounted,
// and the libcomposite and usb_f_fs modules.
class UsbGadget
{
public:
    UsbGadget(const GadgetOptions &options, std::shared_ptr<visa::InProcessInstrument> instrument);
    ~UsbGadget();
    UsbGadget(const UsbGadget &) = delete;
    UsbGadget &operator=(const UsbGadget &) = delete;

    std::string resourceName() const;

private:
    void createGadget();
    void openFunction();
    void bindController();
    void removeAll();
    void startThreads();
    void stopThreads();

    void controlLoop();
    void bulkOutLoop();
    void bulkInLoop();
    void answerSetup(const struct usb_ctrlrequest &setup);
    void updatePacketSize();

    const GadgetOptions m_options;
    const std::string m_gadgetDir;
    const std::string m_ffsDir;
    std::string m_udc;
    std::unique_ptr<TmcDevice> m_device;
    int m_ep0 = -1;
    int m_bulkOut = -1;
    int m_bulkIn = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<std::size_t> m_packet; // bulk packet size of the present connection

    // A thread that blocks in endpoint calls and is woken by a signal to stop.
    struct Worker
    {
        void start(std::function<void()> loop);
        void stop();
        std::thread thread;
        std::atomic<bool> finished{true};
    };
    Worker m_workers[3]; // control endpoint, Bulk-OUT reader, Bulk-IN writer
};
