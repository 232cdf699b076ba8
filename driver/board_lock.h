#pragma once

#include <optional>

#include "serial/port_lock.h"

namespace zorvan {

// One driver per board: the advisory lock that the serial library's ports
// take too (serial/port_lock.h), so a terminal program built on the library
// and the driver each see the other.
using BoardLockHolder = serial::PortLockHolder;
using serial::parseFlockHolder;

// True when this descriptor now holds the lock (or the device can't be
// locked at all, so it is not shared); false when another process holds it,
// with holder filled if it can be found.
inline bool lockBoard(int fd, std::optional<BoardLockHolder>& holder) {
    return serial::lockDevice(fd, holder) != serial::PortLock::Held;
}

}  // namespace zorvan
