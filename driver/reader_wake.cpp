#include "driver/reader_wake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace zorvan {

ReaderWake::ReaderWake() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) {
        // Without it a stop could go unnoticed for good: better not to start.
        throw std::runtime_error(std::string("cannot make the reader's wake-up eventfd: ") +
                                 std::strerror(errno));
    }
}

ReaderWake::~ReaderWake() {
    ::close(fd_);
}

void ReaderWake::wake() {
    const std::uint64_t one = 1;
    // Fails only when the counter is full, which means a wake is pending anyway.
    [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
}

}  // namespace zorvan
