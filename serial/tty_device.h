#pragma once

#include <string>

// The system calls on a port's descriptor other than its settings record.
// Each answers 0 or errno (openDevice: the descriptor or -errno).
namespace zorvan::serial::tty {

// Read-write, never the caller's controlling terminal, not inherited by
// programs the process starts, and without waiting for carrier detect; the
// descriptor is blocking once open.
int openDevice(const std::string& path);
// Adds O_NONBLOCK, so that a close never waits for output the device can't send.
int setNonBlocking(int fd);
// Waits until written output has been sent.
int drain(int fd);
// Discards received input and/or unsent output; both false is EINVAL.
int flush(int fd, bool input, bool output);
// A break of the line's standard length (0.25 to 0.5 s).
int sendBreak(int fd);
// Raises or drops DTR through the modem-control lines.
int setDTR(int fd, bool on);

}  // namespace zorvan::serial::tty
