#pragma once

#include <sys/types.h>
#include <cstddef>

// Waiting, reading and writing on a port's descriptor, with a wake-up
// descriptor beside it so that closing the port ends every wait at once.
namespace zorvan::serial::tty {

enum class Wait {
    Ready,     // readable, or the device hung up or failed (the read tells which)
    TimedOut,  // the time passed with nothing to read
    Woken,     // the wake-up descriptor fired: the port is closing
    Failed,    // poll itself failed, or the descriptor is not open
};

// A wait limit that is none at all.
inline constexpr long long kNoLimit = -1;

// Waits until fd is readable or wakeFd fires, at most timeoutMicros (< 0, or
// a limit whose end the clock can't represent: no limit). poll-based, so any
// descriptor number works; EINTR waits on for the rest.
Wait waitReadable(int fd, int wakeFd, long long timeoutMicros);
// Waits until fd takes output or wakeFd fires (no limit).
Wait waitWritable(int fd, int wakeFd);

// One read or write call; the count, or -1 with errno set.
ssize_t readSome(int fd, void* into, std::size_t count);
ssize_t writeSome(int fd, const void* from, std::size_t count);

// FIONREAD: bytes waiting, or -1.
int bytesWaiting(int fd);

// A wake-up descriptor (eventfd), -1 on failure; fire makes it readable for good.
int makeWakeDescriptor();
void fireWakeDescriptor(int wakeFd);
// A second descriptor on fd's open file, -1 on failure.
int duplicate(int fd);
void closeDescriptor(int fd);

}  // namespace zorvan::serial::tty
