#pragma once

namespace zorvan::serial {

// @addtogroup ports
// @{

// The modem-control lines of a serial port, one bit each. DTR and RTS are the
// port's outputs; CTS, DSR, DCD (carrier) and RI (ring) its inputs.
enum VXModemLine : unsigned {
    VXModemLineDTR = 0x01,
    VXModemLineRTS = 0x02,
    VXModemLineCTS = 0x04,
    VXModemLineDSR = 0x08,
    VXModemLineDCD = 0x10,
    VXModemLineRI = 0x20,
};

// The four input lines, which waitForModemLineChange watches.
inline constexpr unsigned VXModemInputLines =
    VXModemLineCTS | VXModemLineDSR | VXModemLineDCD | VXModemLineRI;

// What a wait for a line change saw.
struct VXModemLineChange {
    // Which of the watched lines changed at least once during the wait; a
    // short pulse (a ring) that is over again by the end counts too.
    unsigned changed = 0;
    // Every line that is on when the wait ended (VXModemLine bits).
    unsigned lines = 0;
    bool operator==(const VXModemLineChange&) const = default;  // both fields alike
};

// @}

}  // namespace zorvan::serial
