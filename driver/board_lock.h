#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace zorvan {

// Who holds the board: the process that owns the lock on its device.
struct BoardLockHolder {
    pid_t pid = 0;
    std::string program;  // its command name ("zorvan"); empty if unknown
};

// One driver per board. The lock is an advisory flock() on the open board
// itself, so that:
// - every name of the device (a udev link, /dev/ttyUSB0) meets the same lock;
// - other programs, the calibration tool among them, still open the board;
// - the kernel drops it with the driver's last descriptor, even after a crash.
// Returns true when this descriptor now holds the lock. When another process
// holds it, returns false and fills `holder` if it can be found.
bool lockBoard(int fd, std::optional<BoardLockHolder>& holder);

// The pid of the process that holds a granted flock on the inode `ino` of the
// file system `devMajor:devMinor`, from the text of /proc/locks.
std::optional<pid_t> parseFlockHolder(std::string_view procLocks, unsigned devMajor,
                                      unsigned devMinor, unsigned long ino);

}  // namespace zorvan
