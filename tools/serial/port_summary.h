#pragma once

#include <string>
#include <vector>

#include "serial/vx_serial_port.h"

namespace zorvan::serial_tool {

// What list shows of one port, gathered from the port and its udev
// properties. Fields that the device does not tell are empty.
struct PortSummary {
    std::string name;                // the library's name: "SLAB_USBtoUART", "ttyUSB0"
    std::string path;                // the path the library opens: "/dev/cu.SLAB_USBtoUART"
    std::string type;                // "IOSerialStream"
    std::string kernel;              // the kernel's name: "ttyUSB0"
    std::string node;                // its device node: "/dev/ttyUSB0"
    std::vector<std::string> links;  // every udev link to the node
    std::string byId;                // the first /dev/serial/by-id/ link
    std::string vid;                 // USB vendor and product ids, lowercase hex
    std::string pid;
    std::string vendor;  // udev's hardware database name, else the USB string
    std::string product;
    std::string serialNumber;
    serial::PortProperties properties;
};

// A port that has gone has no properties: only its name, path and type are filled.
PortSummary summarize(const serial::VXSerialPort& port);

// True when filter is empty; a "VID:PID" filter (four hex digits each) when
// the ids are those; any other text when it is part of one of the names,
// paths, links, vendor, product or serial number, in any case.
bool matches(const PortSummary& port, const std::string& filter);

// The columns of list's default view, apart by tabs ("-" where unknown), and
// their header.
std::string summaryHeader();
std::string summaryLine(const PortSummary& port);
// Everything known of the port, a field a line, for list -v.
std::string summaryDetails(const PortSummary& port);
// One JSON object (no line break); event, when given, comes first.
std::string summaryJson(const PortSummary& port, const std::string& event = {});

}  // namespace zorvan::serial_tool
