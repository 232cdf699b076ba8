#pragma once

#include <dirent.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "tests/support/pty_pair.h"

namespace zorvan::test {

// Descriptors the process holds now (a leak shows as a rise).
inline int openDescriptorCount() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) {
            ++count;
        }
        ::closedir(dir);
    }
    return count;
}

// The terminal settings of a pty's slave, read and written through its master.
inline termios deviceSettings(const PtyPair& pty) {
    termios t{};
    ::tcgetattr(pty.master(), &t);
    return t;
}

inline void setDeviceSettings(const PtyPair& pty, const termios& t) {
    ::tcsetattr(pty.master(), TCSANOW, &t);
}

inline bool sameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc) &&
           ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

// The exact output rate of a device through termios2 (device_speed_probe.cpp:
// its header can't share a file with <termios.h>).
std::uint32_t deviceOutputSpeed(int fd);

// Counts opens of one file from now on.
class OpenCounter {
  public:
    explicit OpenCounter(const std::string& path) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(fd_, path.c_str(), IN_OPEN);
    }
    ~OpenCounter() { ::close(fd_); }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    int opens() {
        alignas(inotify_event) char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                opens_ += (event->mask & IN_OPEN) != 0 ? 1 : 0;
                p += sizeof(inotify_event) + event->len;
            }
        }
        return opens_;
    }

  private:
    int fd_ = -1;
    int opens_ = 0;
};

}  // namespace zorvan::test
