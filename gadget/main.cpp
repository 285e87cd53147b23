// dmmgadget: the simulated meter as a real USBTMC device on this machine's
// USB device controller (configfs + FunctionFS).

#include "simulatedmeter.h"
#include "usbgadget.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>

namespace {

const char *const Usage =
    "usage: dmmgadget [--serial TEXT] [--faults LIST] [--answer-delay MS] [--log FILE] [--packet-size N]\n"
    "Puts a simulated KM4473N meter on the USB device controller as a USBTMC device\n"
    "(vendor 0x28E9, product 0x0285) until SIGTERM or SIGINT. SIGUSR1 pulls the\n"
    "cable, SIGUSR2 plugs a freshly powered meter back in. --faults takes the list\n"
    "of DMMPANEL_SIMULATOR_FAULTS; unplug-after=N takes the device off the bus,\n"
    "replug-after=N puts it back N ms later.\n"
    "--packet-size sets the full-speed bulk packet size (8, 16, 32 or 64).\n";

struct Options
{
    GadgetOptions gadget;
    std::string faults;
    long answerDelayMs = 0;
    std::string logFile;
};

bool number(const std::string &text, long low, long high, long &value)
{
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && value >= low && value <= high;
}

bool parse(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        long n = 0;
        if (arg == "--serial" && !value.empty())
            options.gadget.serial = value;
        else if (arg == "--faults")
            options.faults = value;
        else if (arg == "--answer-delay" && number(value, 0, 600000, n))
            options.answerDelayMs = n;
        else if (arg == "--log")
            options.logFile = value;
        else if (arg == "--packet-size" && number(value, 8, 64, n) && (n & (n - 1)) == 0)
            options.gadget.fullSpeedPacket = static_cast<std::size_t>(n);
        else
            return false;
    }
    return true;
}

// A meter as it is after power-up; the faults apply to the first one only,
// so that a meter plugged back in behaves.
std::shared_ptr<dmmsim::SimulatedMeter> powerUp(const Options &options, bool withFaults)
{
    auto meter = std::make_shared<dmmsim::SimulatedMeter>();
    meter->setAnswerDelay(std::chrono::milliseconds(options.answerDelayMs));
    if (!options.logFile.empty())
        meter->setLogFile(options.logFile);
    if (withFaults && !options.faults.empty() && !meter->applyFaults(options.faults))
        return nullptr;
    return meter;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << Usage;
        return EXIT_FAILURE;
    }
    auto meter = powerUp(options, true);
    if (!meter) {
        std::cerr << "dmmgadget: bad fault list: " << options.faults << '\n';
        return EXIT_FAILURE;
    }
    // The worker threads inherit this mask: only the main thread takes these.
    sigset_t handled;
    sigemptyset(&handled);
    for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2})
        sigaddset(&handled, s);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);

    std::unique_ptr<UsbGadget> gadget;
    auto plug = [&] {
        try {
            gadget = std::make_unique<UsbGadget>(options.gadget, meter);
            std::cout << "dmmgadget: plugged in as " << gadget->resourceName() << std::endl;
            return true;
        } catch (const std::exception &e) {
            std::cerr << "dmmgadget: " << e.what() << '\n';
            return false;
        }
    };
    auto unplug = [&] {
        gadget.reset();
        std::cout << "dmmgadget: unplugged" << std::endl;
    };
    if (!plug())
        return EXIT_FAILURE;
    bool offByFault = false; // only the meter's own unplug fault may bring it back
    const timespec tick{0, 50 * 1000 * 1000};
    for (;;) {
        const int signal = sigtimedwait(&handled, nullptr, &tick);
        if (signal == SIGTERM || signal == SIGINT)
            break;
        if (signal == SIGUSR1 && gadget)
            unplug();
        if (signal == SIGUSR2 && !gadget) {
            offByFault = false;
            meter = powerUp(options, false);
            if (!plug())
                return EXIT_FAILURE;
        }
        if (gadget && !meter->attached()) {
            unplug(); // the unplug-after fault
            offByFault = true;
        } else if (!gadget && offByFault && meter->attached()) {
            offByFault = false; // the replug-after fault: the same meter, as it was
            if (!plug())
                return EXIT_FAILURE;
        }
    }
    gadget.reset();
    return EXIT_SUCCESS;
}
