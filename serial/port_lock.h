#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

// The advisory lock on a serial device that cooperating programs honour: an
// flock() on the open device. The board driver takes it on its board, and
// ports take it with VXSerialPort::lockPort(), so each sees the other. It is
// on the device itself, so that:
// - every name of the device (a udev link, /dev/ttyUSB0) meets the same lock;
// - programs that don't cooperate still open the device;
// - the kernel drops it with the holder's last descriptor on that open, even
//   after a crash.
namespace zorvan::serial {

// @addtogroup ports
// @{

// Who holds a device's lock.
struct PortLockHolder {
    pid_t pid = 0;        // its process id
    std::string program;  // its command name ("zorvan"); empty if unknown
    bool operator==(const PortLockHolder&) const = default;  // same pid and program
};

// What lockDevice found.
enum class PortLock {
    Taken,     // this descriptor holds the lock now (or already did)
    Held,      // another open of the device holds it
    Unlocked,  // the device can't be locked at all (so nobody shares it): go on
};

// Tries to take the lock on the open device fd, without waiting. On Held,
// holder names the process holding it when it can be found (from /proc/locks).
PortLock lockDevice(int fd, std::optional<PortLockHolder>& holder);
// Gives up the lock this descriptor holds (the close of its last copy does too).
void unlockDevice(int fd);
// Who holds the lock on the device at path now, this process included;
// nullopt when nobody does, or the path or the holder can't be looked up.
std::optional<PortLockHolder> lockHolderOfPath(const std::string& path);

// The pid of the process that holds a granted flock on the inode `ino` of the
// file system `devMajor:devMinor`, from the text of /proc/locks.
std::optional<pid_t> parseFlockHolder(std::string_view procLocks, unsigned devMajor,
                                      unsigned devMinor, unsigned long ino);

// @}

}  // namespace zorvan::serial
