#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The system calls on a port's descriptor other than its settings record.
// Each answers 0 or errno (openDevice: the descriptor or -errno).
namespace zorvan::serial::tty {

// Read-write, never the caller's controlling terminal, not inherited by
// programs the process starts, and without waiting for carrier detect; the
// descriptor is blocking once open.
int openDevice(const std::string& path);
// A second, non-blocking open of the device fd has open (through /proc), so
// that reads can be tried before waiting without changing how the port's own
// descriptor blocks; -errno when it can't be had.
int reopenNonBlocking(int fd);
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

// How often the kernel has seen each input line change (TIOCGICOUNT): a
// pulse over before anyone looks still counts.
struct LineChangeCounts {
    std::uint32_t cts = 0;
    std::uint32_t dsr = 0;
    std::uint32_t dcd = 0;
    std::uint32_t ri = 0;
    bool operator==(const LineChangeCounts&) const = default;
};

// The device calls other than reading, writing and the settings record, in
// one interface so that tests can stand in for a device with modem lines
// (a pseudo-terminal has none). Each answers 0 or errno; ENOTTY and EINVAL
// from the line calls mean the device has no lines.
class DeviceControl {
  public:
    virtual ~DeviceControl() = default;
    // The lines that are on, as VXModemLine bits (TIOCMGET).
    virtual int modemLines(int fd, unsigned& lines) = 0;
    // Raises (on) or drops the lines named by VXModemLine bits (TIOCMBIS/BIC).
    virtual int setModemLines(int fd, unsigned lines, bool on) = 0;
    virtual int lineChangeCounts(int fd, LineChangeCounts& counts) = 0;
    // Exclusive use of the device (TIOCEXCL / TIOCNXCL).
    virtual int setExclusive(int fd, bool on) = 0;
    // Break on or off (TIOCSBRK / TIOCCBRK).
    virtual int setBreak(int fd, bool on) = 0;
    // Bytes written and not yet sent (TIOCOUTQ).
    virtual int outputQueue(int fd, int& bytes) = 0;
};

// The layer that ports made from now on use: the system's, or what a test
// put in place with useDeviceControl (nullptr goes back to the system's).
std::shared_ptr<DeviceControl> deviceControl();
void useDeviceControl(std::shared_ptr<DeviceControl> control);

}  // namespace zorvan::serial::tty
