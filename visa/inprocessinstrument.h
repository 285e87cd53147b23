#pragma once

#include "visa.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace visa {

// A software instrument that the VISA layer lists and opens like a USB INSTR
// resource. Implementations must be safe to call from any one thread at a time.
class InProcessInstrument
{
public:
    virtual ~InProcessInstrument() = default;

    // Full resource name, such as "USB0::0x28E9::0x0285::KM4473N-SIM::INSTR".
    virtual std::string resourceName() const = 0;

    // One message written by viWrite/viQueryf, bytes as the caller gave them
    // (its line feed included). VI_SUCCESS or an error such as VI_ERROR_CONN_LOST.
    virtual ViStatus write(const std::string &bytes) = 0;

    // Waits at most `timeout` for the next complete answer message and moves it
    // into `message` (its terminator included). VI_SUCCESS, VI_ERROR_TMO when
    // nothing arrives in time, or an error such as VI_ERROR_CONN_LOST.
    virtual ViStatus read(std::string &message, std::chrono::milliseconds timeout) = 0;

    // Drops answers not read yet (the layer calls it after a read time-out, as
    // the kernel backend aborts its pending bulk-in transfer).
    virtual void clear() = 0;

    // Whether it is on the bus. One that is not (unplugged) is neither listed
    // nor opened, as a kernel device disappears with its cable.
    virtual bool attached() const { return true; }
};

// Lists `instrument` (after those added before it, ahead of kernel devices)
// until it is removed. The layer keeps a shared reference while listed and
// while any session to it is open.
void addInProcessInstrument(std::shared_ptr<InProcessInstrument> instrument);
void removeInProcessInstrument(const InProcessInstrument *instrument);

// Whether `session` is an open instrument session to an in-process
// instrument rather than to a device on the bus.
bool isInProcessSession(ViSession session);

// Where the USBTMC backend looks for devices; defaults "/sys/class/usbmisc"
// and "/dev". Tests point them at a fake tree. An empty path restores the default.
void setUsbtmcRoots(const std::string &sysfsClassDir, const std::string &devDir);

// Resource-manager sessions, instrument sessions and find lists open right
// now, so that a caller can check it left nothing open.
std::size_t openObjectCount();

} // namespace visa
