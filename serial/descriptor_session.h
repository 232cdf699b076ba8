#pragma once

#include <atomic>
#include <cstddef>

#include "serial/tty_io.h"

namespace zorvan::serial {

// What a read or write works on while a port is open: its own copy of the
// port's descriptor, a non-blocking open of the same device (-1 when none
// could be had) on which reads and background writes try first and wait only
// when they would block, and the wake-up descriptor that close() fires. Whoever
// holds the session holds both numbers, so a close() meanwhile never lets the
// process hand them to another file under the holder's feet; the session
// releases them when its last holder lets go.
struct DescriptorSession {
    DescriptorSession(int deviceFd, int nonBlocking, int wake)
        : fd(deviceFd), nonBlockingFd(nonBlocking), wakeFd(wake) {}
    ~DescriptorSession() {
        tty::closeDescriptor(fd);
        tty::closeDescriptor(nonBlockingFd);
        tty::closeDescriptor(wakeFd);
    }
    DescriptorSession(const DescriptorSession&) = delete;
    DescriptorSession& operator=(const DescriptorSession&) = delete;

    const int fd;
    const int nonBlockingFd;
    const int wakeFd;
    // Set by close() before it fires wakeFd: a read that finds input without
    // waiting looks here first, so it never takes input from a closed port.
    std::atomic<bool> closed{false};
    // Whether the next read tries before it waits (readWhenReady's hint):
    // while input streams in a chunk costs one call, while replies are
    // awaited the try that would find nothing is saved. Only a hint, so
    // relaxed.
    std::atomic<bool> tryFirst{true};

    // One read of up to count bytes on this session (readWhenReady), none
    // once the port is closed.
    tty::ReadResult read(void* into, std::size_t count, long long timeoutMicros) {
        if (closed.load()) {
            return tty::ReadResult{tty::Wait::Woken};
        }
        const tty::ReadResult got =
            tty::readWhenReady(fd, nonBlockingFd, wakeFd, into, count, timeoutMicros,
                               tryFirst.load(std::memory_order_relaxed));
        tryFirst.store(got.tryFirstNext, std::memory_order_relaxed);
        return got;
    }
};

}  // namespace zorvan::serial
