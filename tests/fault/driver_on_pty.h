#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver/packet.h"
#include "tests/driver/subprocess.h"

namespace zorvan::test {

// The real zorvan, log backend, on a pseudo-terminal that the test holds as
// the board, with a settings folder of its own. Its event lines, its stderr
// and the handshakes it sends are collected as they come.
class DriverOnPty {
  public:
    // The settings file gets `settings` before the driver starts.
    explicit DriverOnPty(const std::string& settings);
    ~DriverOnPty();
    DriverOnPty(const DriverOnPty&) = delete;
    DriverOnPty& operator=(const DriverOnPty&) = delete;

    bool started() const { return driver_ && driver_->started(); }
    pid_t pid() const { return driver_->pid(); }
    const std::filesystem::path& settingsFile() const { return settingsFile_; }

    // Bytes as the board sends them, at once.
    void send(const std::vector<std::uint8_t>& bytes) const;
    // Packets at the board's line rate, 240 a second.
    void sendAtLineRate(const std::vector<Packet>& packets) const;
    // The board goes away: both ends of the terminal are closed.
    void vanish();

    void signal(int number) const { driver_->signal(number); }
    // Waits for the driver to end; its wait status, or nothing on time-out.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

    std::size_t handshakes() const { return handshakes_.load(); }
    // Waits for the handshake after the one counted now: the board has been
    // silent for about 1.5 s, and a pending calibration load has run.
    bool waitForNextHandshake(std::chrono::milliseconds timeout) const;

    std::vector<std::string> events() const;
    std::size_t eventCount() const;
    // Waits until no event has come for `quiet`; the events so far.
    std::vector<std::string> eventsOnceQuiet(std::chrono::milliseconds quiet) const;
    std::string errors() const;

  private:
    void readBoardSide();

    std::filesystem::path config_;
    std::filesystem::path settingsFile_;
    std::atomic<int> master_{-1};
    std::atomic<int> slave_{-1};  // our own raw handle: the line stays raw from the start
    std::unique_ptr<Subprocess> driver_;

    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> handshakes_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::chrono::steady_clock::time_point lastEvent_;
    std::string errors_;
    std::vector<std::thread> threads_;
};

// A pen stroke as the board sends it: n downs evenly from (x0, y0) to
// (x1, y1), then the lift at the end point.
std::vector<Packet> penStroke(int x0, int y0, int x1, int y1, int n);

// Pen mode with the soft keys off.
inline constexpr Packet kPenMode{0xE8, 0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD9};

// A 2 x 2 calibration over most of the raw range.
inline constexpr const char* kGoodSettings =
    "[General]\nDotCount=2\nDot0.x=500\nDot1.x=500\nDot2.x=3500\nDot3.x=3500\n"
    "Dot0.y=400\nDot1.y=3600\nDot2.y=400\nDot3.y=3600\n";

// What /proc tells about a process.
struct ProcessUse {
    long rssKiB = 0;
    std::size_t descriptors = 0;
};
ProcessUse processUse(pid_t pid);

}  // namespace zorvan::test
