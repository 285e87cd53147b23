#pragma once

#include "visa.h"

#include <optional>
#include <string>

namespace visa {

// A resource name taken apart:
// USB[board]::vendor::product::serial[::interface][::INSTR|::RAW].
struct ResourceName
{
    enum class Kind
    {
        UsbInstr,
        UsbRaw,
        OtherInterface, // GPIB, TCPIP, ASRL, ...: a valid interface this library has not
        Invalid,
    };
    Kind kind = Kind::Invalid;
    ViUInt16 board = 0;
    ViUInt16 vendorId = 0;
    ViUInt16 productId = 0;
    std::string serial;
    int interfaceNumber = -1; // -1: not given

    static ResourceName parse(const std::string &text);

    // The standard spelling: "USB0::0x28E9::0x0285::serial::INSTR" (the
    // interface number only where given). For a USB INSTR name only.
    std::string canonical() const;

    // Whether both name the same USB INSTR resource. A name without an
    // interface number stands for the device's USBTMC interface, which the
    // number 0 names too.
    bool sameResource(const ResourceName &other) const;
};

// How the layer lists the USB INSTR resource `name`, if it is listed.
std::optional<std::string> listedName(const ResourceName &name);

} // namespace visa
