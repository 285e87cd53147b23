#pragma once

#include "connection.h"

#include <memory>
#include <string>
#include <vector>

namespace visa {

// Names of every resource the layer can open: in-process instruments first,
// in the order they were added, then devices of the kernel USBTMC driver.
std::vector<std::string> listResources();

// Opens the resource called `name` (compared regardless of case).
ViStatus openResource(const std::string &name, std::unique_ptr<Connection> &connection);

} // namespace visa
