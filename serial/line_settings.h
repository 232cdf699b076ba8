#pragma once

#include <array>
#include <cstdint>

namespace zorvan::serial {

// @addtogroup ports
// @{

// A port's record of a terminal's settings: the words of the kernel's
// terminal record as the device last reported them (edited by the port's
// setters), plus the flow-control flags that Linux has no bit for.
//
// The all-zero record, which a port holds until its device first opens, reads
// as speed 0, 5 data bits, no parity, 1 stop bit, every flag off and end-of-line
// character 0.
struct LineSettings {
    std::uint32_t inputFlags = 0;                 // c_iflag
    std::uint32_t outputFlags = 0;                // c_oflag
    std::uint32_t controlFlags = 0;               // c_cflag (CRTSCTS as the device has it)
    std::uint32_t localFlags = 0;                 // c_lflag
    std::uint8_t lineDiscipline = 0;              // c_line
    std::array<std::uint8_t, 32> controlChars{};  // c_cc (VMIN, VTIME, VEOL, ...)
    std::uint32_t inputSpeed = 0;                 // bit/s
    std::uint32_t outputSpeed = 0;                // bit/s

    // Linux's one hardware flow-control bit (CRTSCTS) is on in the device
    // exactly when rtsInput or ctsOutput is; the other three never reach it.
    // Reading a device sets rtsInput and ctsOutput from that bit and clears
    // the other three.
    struct FlowControl {
        bool rtsInput = false;   // RTS input flow control
        bool dtrInput = false;   // DTR input flow control (kept only)
        bool ctsOutput = false;  // CTS output flow control
        bool dsrOutput = false;  // DSR output flow control (kept only)
        bool carOutput = false;  // carrier output flow control (kept only)
        bool operator==(const FlowControl&) const = default;  // every flag alike
    } flow;                                                   // the five flow-control flags

    bool operator==(const LineSettings&) const = default;  // every word and flag alike
};

// @}

}  // namespace zorvan::serial
