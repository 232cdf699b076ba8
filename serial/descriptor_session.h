#pragma once

#include "serial/tty_io.h"

namespace zorvan::serial {

// What a read or write works on while a port is open: its own copy of the
// port's descriptor and the wake-up descriptor that close() fires. Whoever
// holds the session holds both numbers, so a close() meanwhile never lets the
// process hand them to another file under the holder's feet; the session
// releases them when its last holder lets go.
struct DescriptorSession {
    DescriptorSession(int deviceFd, int wake) : fd(deviceFd), wakeFd(wake) {}
    ~DescriptorSession() {
        tty::closeDescriptor(fd);
        tty::closeDescriptor(wakeFd);
    }
    DescriptorSession(const DescriptorSession&) = delete;
    DescriptorSession& operator=(const DescriptorSession&) = delete;

    const int fd;
    const int wakeFd;
};

}  // namespace zorvan::serial
