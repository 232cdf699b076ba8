#pragma once

#include <array>
#include <cstdint>

namespace zorvan::serial {

// A port's record of a terminal's settings: the words of the kernel's
// terminal record as the device last reported them (edited by the port's
// setters), plus the flow-control flags that Linux has no bit for.
//
// The all-zero record, which a port holds until its device first opens, reads
// as speed 0, 5 data bits, no parity, 1 stop bit, every flag off and end-of-line
// character 0.
struct LineSettings {
    std::uint32_t inputFlags = 0;
    std::uint32_t outputFlags = 0;
    std::uint32_t controlFlags = 0;
    std::uint32_t localFlags = 0;
    std::uint8_t lineDiscipline = 0;
    std::array<std::uint8_t, 32> controlChars{};
    std::uint32_t inputSpeed = 0;
    std::uint32_t outputSpeed = 0;

    // Linux's one hardware flow-control bit (CRTSCTS) is on in the device
    // exactly when rtsInput or ctsOutput is; the other three never reach it.
    // Reading a device sets rtsInput and ctsOutput from that bit and clears
    // the other three.
    struct FlowControl {
        bool rtsInput = false;
        bool dtrInput = false;
        bool ctsOutput = false;
        bool dsrOutput = false;
        bool carOutput = false;
        bool operator==(const FlowControl&) const = default;
    } flow;

    bool operator==(const LineSettings&) const = default;
};

}  // namespace zorvan::serial
