// The options dictionary with any keys and values, applied to a port on a
// pseudo-terminal or to one that never opened: the settings stay in their
// ranges, a dictionary for another port changes nothing, and a dictionary
// made from the settings, applied once, comes back unchanged.
//
// Input: one flags byte (bit 0: the dictionary names another port; bit 1:
// the port is open on a pty), then records of a key byte, a length byte and
// that many value bytes. The key byte picks one of the known keys, or (the
// last choice) takes the value as a key of its own with an empty value.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_input.h"
#include "serial/vx_serial_port.h"

namespace {

using namespace zorvan::serial;
using zorvan::fuzz::require;

constexpr const char* kKeys[] = {
    VXSerialOptionServiceName,       VXSerialOptionSpeed,
    VXSerialOptionDataBits,          VXSerialOptionParity,
    VXSerialOptionStopBits,          VXSerialOptionInputFlowControl,
    VXSerialOptionOutputFlowControl, VXSerialOptionEcho,
    VXSerialOptionCanonicalMode,
};

// A pty master whose slave the port opens; closed at the end of the input.
struct Pty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::string slave;
    Pty() {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) {
            slave = ::ptsname(master);
        }
    }
    ~Pty() {
        if (master >= 0) {
            ::close(master);
        }
    }
};

void requireInRange(VXSerialPort& port) {
    require(port.speed() >= 0, "speed is never negative");
    require(port.dataBits() >= 5 && port.dataBits() <= 8, "data bits are 5 to 8");
    require(port.parity() >= 0 && port.parity() <= 2, "parity is none, odd or even");
    require(port.stopBits() == 1 || port.stopBits() == 2, "stop bits are 1 or 2");
}

VXSerialOptions fromSettings(VXSerialPort& port) {
    port.buildOptionsDictionary();
    return port.options();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorvan::fuzz::Input input(data, size);
    const auto flags = input.take<std::uint8_t>();
    const bool otherPort = (flags & 1) != 0;
    const bool open = (flags & 2) != 0;

    Pty pty;
    const std::string path = open && !pty.slave.empty() ? pty.slave : "/nonexistent/port";
    VXSerialPort port(path, "pty", "IOSerialStream");
    if (open) {
        port.open();
    }
    VXSerialOptions options;
    options[VXSerialOptionServiceName] = otherPort ? "other" : "pty";
    while (!input.empty()) {
        const auto key = input.take<std::uint8_t>() % (std::size(kKeys) + 1);
        const auto length = input.take<std::uint8_t>();
        const auto rest = input.rest();
        const std::string value(rest.begin(),
                                rest.begin() + std::min<std::size_t>(length, rest.size()));
        for (std::size_t i = 0; i < value.size(); ++i) {
            input.take<std::uint8_t>();
        }
        if (key < std::size(kKeys)) {
            options[kKeys[key]] = value;
        } else {
            options[value] = "";
        }
    }

    const VXSerialOptions before = fromSettings(port);
    port.setOptions(options);
    requireInRange(port);
    if (options[VXSerialOptionServiceName] != "pty") {
        require(fromSettings(port) == before, "a dictionary for another port changes nothing");
    }
    // Once through the dictionary, the settings are a fixed point of it.
    port.setOptions(fromSettings(port));
    const VXSerialOptions settled = fromSettings(port);
    port.setOptions(settled);
    requireInRange(port);
    require(fromSettings(port) == settled, "the settings' own dictionary changes nothing");
    return 0;
}
