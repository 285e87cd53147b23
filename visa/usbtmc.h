#pragma once

#include "connection.h"

#include <memory>
#include <string>
#include <vector>

namespace visa::usbtmc {

// A device bound to the kernel USBTMC driver.
struct Device
{
    std::string resourceName; // USB0::0x28E9::0x0285::serial::INSTR
    std::string node;         // its character device, e.g. /dev/usbtmc0
};

// Devices under `sysfsClassDir` (usbtmc0, usbtmc1, ... in number order), with
// their nodes looked for in `devDir`.
std::vector<Device> scan(const std::string &sysfsClassDir, const std::string &devDir);

// Opens `node`: VI_SUCCESS, VI_ERROR_RSRC_NFOUND when it is gone, or VI_ERROR_IO.
ViStatus open(const std::string &node, std::unique_ptr<Connection> &connection);

} // namespace visa::usbtmc
