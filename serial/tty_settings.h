#pragma once

#include "serial/line_settings.h"

// Reading, editing and applying a LineSettings record with the kernel's own
// flag values. The only code that knows them: the port's accessors go through
// these functions and never see a termios header.
namespace zorvan::serial::tty {

enum class Flag {
    ParityEnable,
    ParityOdd,
    TwoStopBits,
    Echo,
    HangupOnClose,
    LocalMode,
    CanonicalMode,
};

bool flag(const LineSettings& settings, Flag which);
void setFlag(LineSettings& settings, Flag which, bool on);

// 5 to 8, from the character-size field.
int dataBits(const LineSettings& settings);
// 6, 7 and 8 select that size; any other value 5.
void setDataBits(LineSettings& settings, unsigned long bits);

// The output rate in bit/s (the exact rate, standard or not).
long speed(const LineSettings& settings);
// Input and output rate alike: a standard rate through its B constant, any
// other through BOTHER. Answers false, record unchanged, for a rate the
// record cannot hold (0, negative, above 2^32 - 1).
bool setSpeed(LineSettings& settings, long rate);

// XON/XOFF: on when either direction (IXON, IXOFF) is; the setter sets or
// clears both.
bool softwareFlow(const LineSettings& settings);
void setSoftwareFlow(LineSettings& settings, bool on);

char endOfLine(const LineSettings& settings);
void setEndOfLine(LineSettings& settings, char c);

// The device's settings into settings (flow flags from CRTSCTS); 0 or errno.
int readFrom(int fd, LineSettings& settings);
// settings onto the device at once (CRTSCTS from the flow flags); 0 or errno.
int applyTo(int fd, const LineSettings& settings);

}  // namespace zorvan::serial::tty
