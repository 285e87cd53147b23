#pragma once

#include "connection.h"

#include <memory>
#include <string>
#include <vector>

namespace visa {

// Names of every resource the layer can open: in-process instruments first,
// in the order they were added, then devices of the kernel USBTMC driver.
std::vector<std::string> listResources();

// Opens the resource that `name` stands for: the listed USB INSTR resource
// it names however spelled ("usb::10473::645::KM4473N-SIM::0" names
// "USB0::0x28E9::0x0285::KM4473N-SIM::INSTR"), else the one called `name`
// regardless of case. `sessionName` gets the listed spelling in the first
// case, `name` itself in the second.
ViStatus openResource(const std::string &name, std::unique_ptr<Connection> &connection, std::string &sessionName);

} // namespace visa
