#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "tools/serial/serial_command.h"

namespace zorvan::serial_tool {

void holdClosedStandardDescriptors() {
    // A closed 0, 1 or 2 would go to the first file opened, the port: the
    // device's bytes read back as keystrokes, or its input echoed to itself.
    // /dev/null takes the number, opened the wrong way round, so that using
    // it still fails as on the closed descriptor and lost output is reported.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int opened = ::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_NOCTTY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

bool writeOutput(const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void sayOutputFailed(int error) {
    // A reader that went away (| head) needs no word; anything else lost output.
    if (error != EPIPE) {
        std::fprintf(stderr, "zorvan-serial: cannot write the output: %s\n",
                     serial::errnoText(error).c_str());
    }
}

}  // namespace zorvan::serial_tool
