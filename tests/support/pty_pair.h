#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvan::test {

// A real pseudo-terminal: the test holds the master, the code under test
// opens the slave by its path like a board's device.
class PtyPair {
  public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            slavePath_ = ::ptsname(master_);
        }
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

    void write(const std::vector<std::uint8_t>& bytes) const {
        [[maybe_unused]] const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    }

    // Reads exactly count bytes, or fewer if the timeout passes first.
    std::vector<std::uint8_t> read(std::size_t count, std::chrono::milliseconds timeout) const {
        std::vector<std::uint8_t> bytes;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            pollfd entry{master_, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            std::uint8_t byte = 0;
            if (::read(master_, &byte, 1) == 1) {
                bytes.push_back(byte);
            }
        }
        return bytes;
    }

  private:
    int master_ = -1;
    std::string slavePath_;
};

}  // namespace zorvan::test
