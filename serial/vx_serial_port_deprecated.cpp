// The older interface, mapped onto the current one.
#include <utility>

#include "serial/tty_settings.h"
#include "serial/vx_serial_port.h"

namespace zorvan::serial {

VXSerialPort::VXSerialPort(std::string path, std::string name)
    : VXSerialPort(std::move(path), std::move(name), "") {}

bool VXSerialPort::testParity() const {
    return tty::flag(options_, tty::Flag::ParityEnable);
}

bool VXSerialPort::testParityOdd() const {
    return tty::flag(options_, tty::Flag::ParityOdd);
}

std::optional<std::string> VXSerialPort::readString() {
    return readStringUsingEncoding(VXMacOSRomanStringEncoding, nullptr);
}

std::optional<std::string> VXSerialPort::readStringOfLength(unsigned length) {
    return readBytesUsingEncoding(length, VXMacOSRomanStringEncoding, nullptr);
}

int VXSerialPort::writeString(const std::string& text) {
    SerialError error;
    writeStringUsingEncoding(text, VXMacOSRomanStringEncoding, &error);
    const auto* written = error.find<std::uint64_t>(VXBytesWrittenKey);
    return written != nullptr ? static_cast<int>(*written) : 0;
}

}  // namespace zorvan::serial
