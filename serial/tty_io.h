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

// What readWhenReady did.
struct ReadResult {
    Wait wait = Wait::Failed;  // Ready when a read call answered
    ssize_t count = 0;         // then: > 0 bytes read, 0 end of file, -1 failed
    int error = 0;             // errno of the failed read
    // Whether the next read had better try before it waits: this one found
    // input waiting, or filled a buffer of more than one byte (more is
    // likely waiting).
    bool tryFirstNext = true;
};

// One read of up to count bytes. With a non-blocking descriptor on the
// device (nonBlockingFd >= 0) the read is tried first and the wait (as
// waitReadable, on fd's device and wakeFd, at most timeoutMicros in all)
// comes only when nothing is there yet: a stream of input costs one call per
// chunk, not two. Without one, or when tryFirst is false (the last read
// found nothing waiting: a reply to a request, a slow line), it waits first
// and then reads, saving the try that would find nothing.
ReadResult readWhenReady(int fd, int nonBlockingFd, int wakeFd, void* into, std::size_t count,
                         long long timeoutMicros, bool tryFirst = true);
// Writes up to count bytes: tried first on nonBlockingFd (when >= 0), waiting
// for room (no limit; wakeFd ends it) only when the device takes nothing;
// without one, waits on fd and writes it. The count, or -1 (errno set, or the
// wait failed or was woken: then errno is 0).
ssize_t writeWhenReady(int fd, int nonBlockingFd, int wakeFd, const void* from, std::size_t count);

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
