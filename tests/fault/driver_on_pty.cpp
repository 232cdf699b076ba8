#include "tests/fault/driver_on_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>

namespace zorvan::test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

bool isEvent(const std::string& line) {
    return line.rfind("left-", 0) == 0 || line.rfind("right-", 0) == 0;
}

}  // namespace

DriverOnPty::DriverOnPty(const std::string& settings) {
    char pattern[] = "/tmp/zorvan-fault-XXXXXX";
    config_ = ::mkdtemp(pattern);
    fs::create_directories(config_ / "Zorvan");
    settingsFile_ = config_ / "Zorvan" / "Zorvan.conf";
    std::ofstream(settingsFile_) << settings;
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    master_ = master;
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        return;
    }
    const std::string slavePath = ::ptsname(master);
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    slave_ = slave;
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);

    // A private copy of the driver, with no calibration tool beside it: line
    // noise may hold the board's calibrate command, and a tool started from
    // the build folder would pause the driver for the rest of the test.
    const fs::path driverCopy = config_ / "zorvan";
    fs::copy_file(Subprocess::binary("zorvan"), driverCopy, fs::copy_options::overwrite_existing);
    fs::permissions(driverCopy, fs::perms::owner_all);
    driver_ = std::make_unique<Subprocess>(
        std::vector<std::string>{driverCopy.string(), "--device", slavePath, "--pointer", "log"});
    lastEvent_ = Clock::now();
    threads_.emplace_back([this] {
        while (!stop_) {
            const auto line = driver_->readLine(100ms);
            if (!line) {
                std::this_thread::sleep_for(10ms);  // at the end of the pipe, no spinning
            } else if (isEvent(*line)) {
                std::lock_guard lock(mutex_);
                events_.push_back(*line);
                lastEvent_ = Clock::now();
            }
        }
    });
    // Drained all the time: a full stderr pipe would stall the driver.
    threads_.emplace_back([this] {
        while (!stop_) {
            const auto line = driver_->readLine(100ms, true);
            if (!line) {
                std::this_thread::sleep_for(10ms);
                continue;
            }
            std::lock_guard lock(mutex_);
            errors_ += *line + "\n";
        }
    });
    threads_.emplace_back([this] { readBoardSide(); });
}

DriverOnPty::~DriverOnPty() {
    if (driver_) {
        driver_->signal(SIGTERM);
        waitForExit(5s);
    }
    stop_ = true;
    for (std::thread& thread : threads_) {
        thread.join();
    }
    driver_.reset();  // kills it if it is still there
    vanish();
    fs::remove_all(config_);
}

void DriverOnPty::readBoardSide() {
    std::vector<std::uint8_t> line;
    while (!stop_) {
        const int master = master_;
        pollfd entry{master, POLLIN, 0};
        if (master < 0 || ::poll(&entry, 1, 50) <= 0 || (entry.revents & POLLIN) == 0) {
            if (master < 0 || (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                std::this_thread::sleep_for(50ms);
            }
            continue;
        }
        std::uint8_t buffer[64];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) {
            line.push_back(buffer[i]);
            if (line.size() == 8) {
                if (line[0] == 0xCE) {
                    ++handshakes_;
                }
                line.clear();
            }
        }
    }
}

void DriverOnPty::send(const std::vector<std::uint8_t>& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_.load(), bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

void DriverOnPty::sendAtLineRate(const std::vector<Packet>& packets) const {
    const auto period = std::chrono::nanoseconds(1'000'000'000 / 240);
    auto next = Clock::now();
    for (const Packet& packet : packets) {
        std::this_thread::sleep_until(next);
        next += period;
        send({packet.begin(), packet.end()});
    }
}

void DriverOnPty::vanish() {
    for (std::atomic<int>* fd : {&slave_, &master_}) {
        if (const int open = fd->exchange(-1); open >= 0) {
            ::close(open);
        }
    }
}

std::optional<int> DriverOnPty::waitForExit(std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
        if (const auto status = driver_->tryWait()) {
            return status;
        }
        std::this_thread::sleep_for(20ms);
    }
    return std::nullopt;
}

bool DriverOnPty::waitForNextHandshake(std::chrono::milliseconds timeout) const {
    const std::size_t before = handshakes_.load();
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
        if (handshakes_.load() > before) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

std::vector<std::string> DriverOnPty::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::size_t DriverOnPty::eventCount() const {
    std::lock_guard lock(mutex_);
    return events_.size();
}

std::vector<std::string> DriverOnPty::eventsOnceQuiet(std::chrono::milliseconds quiet) const {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (Clock::now() - lastEvent_ >= quiet) {
                return events_;
            }
        }
        std::this_thread::sleep_for(20ms);
    }
}

std::string DriverOnPty::errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

std::vector<Packet> penStroke(int x0, int y0, int x1, int y1, int n) {
    std::vector<Packet> packets;
    for (int i = 0; i < n; ++i) {
        const int x = n == 1 ? x0 : x0 + (x1 - x0) * i / (n - 1);
        const int y = n == 1 ? y0 : y0 + (y1 - y0) * i / (n - 1);
        packets.push_back(makeDataPacket(0x51, x, y));
    }
    packets.push_back(makeDataPacket(0x61, x1, y1));
    return packets;
}

ProcessUse processUse(pid_t pid) {
    ProcessUse use;
    const fs::path proc = "/proc/" + std::to_string(pid);
    std::ifstream status(proc / "status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            use.rssKiB = std::stol(line.substr(6));
        }
    }
    std::error_code error;
    for (auto it = fs::directory_iterator(proc / "fd", error); !error && it != fs::end(it);
         it.increment(error)) {
        ++use.descriptors;
    }
    return use;
}

}  // namespace zorvan::test
