#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run_loop.h"

namespace zorvan::serial {

// @addtogroup portlist
// @{

// A serial device as the system publishes it: its name ("ttyUSB0",
// "SLAB_USBtoUART"), the path a program opens ("/dev/ttyUSB0",
// "/dev/cu.SLAB_USBtoUART") and its kind ("IOSerialStream").
struct PortEntry {
    std::string name;                                   // "ttyUSB0", "SLAB_USBtoUART"
    std::string path;                                   // "/dev/ttyUSB0", "/dev/cu.SLAB_USBtoUART"
    std::string type;                                   // "IOSerialStream"
    bool operator==(const PortEntry&) const = default;  // all three alike
};

// The device's own properties (udev's: ID_VENDOR_ID, ID_MODEL_ID, ID_SERIAL,
// DEVNAME, DEVLINKS, ...).
using PortProperties = std::map<std::string, std::string>;

// Where the serial devices come from: the devices present now, then batches
// of arrivals and removals. VXSerialPortList is its one client.
class PortRegistry {
  public:
    // Devices that came, or went, together.
    using Batch = std::vector<PortEntry>;
    // Where startFollowing delivers the batches.
    struct Listener {
        std::function<void(const Batch&)> added;    // devices that arrived
        std::function<void(const Batch&)> removed;  // devices that went
    };

    virtual ~PortRegistry() = default;

    // Starts following changes, delivering each batch to listener on loop's
    // thread, and fills present with the devices present now. Every change
    // after that is delivered, and none that present already holds. Called
    // once, on loop's thread; loop must outlive the registry. Answers false
    // when changes can't be followed (present is filled all the same).
    virtual bool startFollowing(RunLoop& loop, Listener listener, Batch& present) = 0;
    // The devices present now, without following anything.
    virtual Batch scan() = 0;
    // The properties of the device named name, or nullopt when none is present.
    virtual std::optional<PortProperties> properties(const std::string& name) = 0;
};

// @}

}  // namespace zorvan::serial
