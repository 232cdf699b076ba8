#pragma once

#include <string>
#include <vector>

#include "serial/vx_serial_port.h"

namespace zorvan::serial_tool {

// zorvan-serial list [--watch]: args are the words after "list".
int runList(const std::vector<std::string>& args);

// One port as list prints it: name, path, type, USB vendor:product and serial
// number, apart by tabs ("-" where unknown).
std::string portLine(const serial::VXSerialPort& port);

}  // namespace zorvan::serial_tool
