// The real driver on a pseudo-terminal under the faults a classroom meets: a
// board pulled out mid-packet, signal storms, a settings file rewritten into
// every kind of thing during loads, an hour's worth of line rate in a minute,
// and line noise. Each case ends with strokes that must decode exactly as on
// a fresh driver, so a fault that leaves state behind shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/fault/driver_on_pty.h"

namespace zorvan::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kQuiet = 1000ms;

// Three pen strokes whose lifts lie far apart, so that no run of them makes a
// double click whatever came before; each yields a press, drags and a release.
std::vector<Packet> measuredStrokes() {
    std::vector<Packet> packets{kPenMode};
    for (const auto& stroke :
         {penStroke(800, 800, 3000, 1200, 20), penStroke(3200, 3000, 900, 2600, 20),
          penStroke(1500, 2000, 2500, 3300, 20)}) {
        packets.insert(packets.end(), stroke.begin(), stroke.end());
    }
    return packets;
}

// A stroke that ends whatever the line left half done: the mode is set, the
// lift resets the count of dropped downs. Its own events are not compared.
std::vector<Packet> primingStroke() {
    std::vector<Packet> packets{kPenMode};
    const auto stroke = penStroke(2000, 500, 2100, 600, 10);
    packets.insert(packets.end(), stroke.begin(), stroke.end());
    return packets;
}

// The events the measured strokes give on this driver from here on.
std::vector<std::string> eventsOfMeasuredStrokes(DriverOnPty& driver) {
    driver.sendAtLineRate(primingStroke());
    const std::size_t before = driver.eventsOnceQuiet(kQuiet).size();
    driver.sendAtLineRate(measuredStrokes());
    const auto events = driver.eventsOnceQuiet(kQuiet);
    return {events.begin() + static_cast<std::ptrdiff_t>(before), events.end()};
}

bool exitedCleanly(const std::optional<int>& status) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

class FaultSuite : public ::testing::Test {
  protected:
    // The driver has opened the board and loaded the calibration; the events
    // of the measured strokes on it are the reference for the rest.
    void start(const std::string& settings = kGoodSettings) {
        driver_ = std::make_unique<DriverOnPty>(settings);
        ASSERT_TRUE(driver_->started());
        ASSERT_TRUE(driver_->waitForNextHandshake(10s)) << driver_->errors();
        reference_ = eventsOfMeasuredStrokes(*driver_);
        ASSERT_EQ(reference_.size(), 3u * (1 + 16 + 1));  // 3 dropped, press, drags, release
    }

    void expectStrokesDecodeAsAtStart() {
        EXPECT_EQ(eventsOfMeasuredStrokes(*driver_), reference_) << driver_->errors();
    }

    void expectCleanQuit() {
        driver_->signal(SIGTERM);
        EXPECT_TRUE(exitedCleanly(driver_->waitForExit(3s))) << driver_->errors();
    }

    std::unique_ptr<DriverOnPty> driver_;
    std::vector<std::string> reference_;
};

TEST_F(FaultSuite, ABoardPulledOutMidPacketReleasesTheButton) {
    start();
    // Pen mode, nine downs (three dropped), three bytes of the tenth, gone.
    auto stroke = penStroke(1000, 1000, 2000, 1800, 9);
    stroke.pop_back();
    stroke.insert(stroke.begin(), kPenMode);
    const std::size_t before = driver_->eventCount();
    driver_->sendAtLineRate(stroke);
    driver_->send({0xEE, 0x00, 0x51});
    driver_->vanish();

    std::this_thread::sleep_for(2500ms);  // the board's silence, and more
    const auto events = driver_->eventsOnceQuiet(kQuiet);
    ASSERT_EQ(events.size() - before, 1u + 5u + 1u) << driver_->errors();
    EXPECT_EQ(events[before].rfind("left-down ", 0), 0u);
    EXPECT_EQ(events.back().rfind("left-up ", 0), 0u) << "the button stays pressed";
    EXPECT_FALSE(driver_->waitForExit(0ms)) << "the driver ended with the board";
    expectCleanQuit();
}

TEST_F(FaultSuite, StrokesDecodeAfterASignalFlood) {
    start();
    // A long pen stroke streams while SIGUSR2 and SIGUSR1 alternate, 1000 a
    // second for 5 s. Then SIGUSR1 on its own, twice: should the last SIGUSR2
    // still be pending with the first, the kernel delivers SIGUSR1 first and
    // the reader ends paused; the second one resumes it.
    std::thread board([this] {
        auto stroke = penStroke(600, 600, 3400, 3400, 240 * 6);
        stroke.pop_back();
        driver_->sendAtLineRate(stroke);
    });
    const auto end = Clock::now() + 5s;
    for (int i = 0; Clock::now() < end; ++i) {
        driver_->signal(i % 2 == 0 ? SIGUSR2 : SIGUSR1);
        std::this_thread::sleep_for(1ms);
    }
    for (int i = 0; i < 2; ++i) {
        std::this_thread::sleep_for(200ms);
        driver_->signal(SIGUSR1);
    }
    board.join();
    driver_->sendAtLineRate({makeDataPacket(0x61, 3400, 3400)});

    expectStrokesDecodeAsAtStart();
    expectCleanQuit();
}

// Puts one kind of broken settings file in place of the real one.
class SettingsWrecker {
  public:
    static constexpr int kKinds = 7;
    explicit SettingsWrecker(fs::path file) : file_(std::move(file)) {}

    void wreck(int kind) {
        std::error_code ignored;
        fs::remove_all(file_, ignored);
        const fs::path loop = file_.parent_path() / "loop.conf";
        fs::remove(loop, ignored);
        switch (kind % kKinds) {
            case 0:
                std::ofstream(file_) << "[General\nDotCount==\n\\\\\"Dot0.x=\n%%%\n";
                break;
            case 1: {
                std::ofstream out(file_, std::ios::binary);
                for (int i = 0; i < 4096; ++i) {
                    out.put(static_cast<char>(random_() & 0xFF));
                }
                break;
            }
            case 2:
                fs::create_directory(file_);
                break;
            case 3:
                ::mkfifo(file_.c_str(), 0644);
                break;
            case 4:
                // Unreadable for a user; root reads it all the same.
                std::ofstream(file_) << kGoodSettings;
                fs::permissions(file_, fs::perms::none);
                break;
            case 5: {
                // 50 MB, sparse: reading it costs the reader, writing it costs nothing.
                std::ofstream(file_) << kGoodSettings;
                fs::resize_file(file_, 50u << 20);
                break;
            }
            case 6:
                fs::create_symlink(loop.filename(), file_);
                fs::create_symlink(file_.filename(), loop);
                break;
        }
    }

    void restore() {
        std::error_code ignored;
        fs::remove_all(file_, ignored);
        fs::remove(file_.parent_path() / "loop.conf", ignored);
        std::ofstream(file_) << kGoodSettings;
    }

  private:
    fs::path file_;
    std::mt19937 random_{16};
};

TEST_F(FaultSuite, TheReaderGoesOnWhileTheSettingsFileIsWrecked) {
    start();
    // One load for each kind of wreck: garbage, binary, a folder, a FIFO,
    // unreadable, huge, a symlink loop, made afresh every few milliseconds
    // while the load runs. The handshake follows each load: it must come.
    std::atomic<int> kind{0};
    std::atomic<bool> wrecking{true};
    std::thread wrecker([this, &kind, &wrecking] {
        SettingsWrecker settings(driver_->settingsFile());
        while (wrecking) {
            settings.wreck(kind);
            std::this_thread::sleep_for(5ms);
        }
        settings.restore();
    });
    for (; kind < SettingsWrecker::kKinds; ++kind) {
        driver_->signal(SIGUSR1);
        EXPECT_TRUE(driver_->waitForNextHandshake(5s)) << "the reader is stuck at wreck " << kind;
    }
    wrecking = false;
    wrecker.join();

    driver_->signal(SIGUSR1);
    ASSERT_TRUE(driver_->waitForNextHandshake(5s));
    expectStrokesDecodeAsAtStart();
    expectCleanQuit();
}

TEST_F(FaultSuite, QuittingDoesNotWaitForAFifoInPlaceOfTheSettingsFile) {
    start();
    SettingsWrecker settings(driver_->settingsFile());
    settings.wreck(3);
    driver_->signal(SIGUSR1);
    EXPECT_TRUE(driver_->waitForNextHandshake(5s)) << "the load waits for the FIFO's writer";
    expectCleanQuit();
}

TEST_F(FaultSuite, AMinuteAtFullLineRateLosesNothingAndKeepsItsSize) {
    start();
    // 72 strokes of 199 downs and a lift: 60 s at 240 packets a second. The
    // lifts alternate between the board's sides, so no double click.
    std::vector<Packet> packets{kPenMode};
    constexpr int kStrokes = 72;
    constexpr int kDowns = 199;
    for (int k = 0; k < kStrokes; ++k) {
        const int y0 = 600 + 20 * k;
        const int y1 = 3400 - 20 * k;
        const auto stroke = k % 2 == 0 ? penStroke(600, y0, 3400, y1, kDowns)
                                       : penStroke(3400, y0, 600, y1, kDowns);
        packets.insert(packets.end(), stroke.begin(), stroke.end());
    }
    const std::size_t before = driver_->eventCount();
    std::thread board([&] { driver_->sendAtLineRate(packets); });
    std::this_thread::sleep_for(10s);
    const ProcessUse early = processUse(driver_->pid());
    board.join();
    const auto events = driver_->eventsOnceQuiet(kQuiet);
    const ProcessUse late = processUse(driver_->pid());

    ASSERT_EQ(events.size() - before, std::size_t{kStrokes} * (1 + (kDowns - 4) + 1));
    for (int k = 0; k < kStrokes; ++k) {
        const std::size_t first = before + static_cast<std::size_t>(k) * (kDowns - 2);
        EXPECT_EQ(events[first].rfind("left-down ", 0), 0u) << k;
        EXPECT_EQ(events[first + kDowns - 3].rfind("left-up ", 0), 0u) << k;
        EXPECT_EQ(std::count_if(events.begin() + static_cast<std::ptrdiff_t>(first + 1),
                                events.begin() + static_cast<std::ptrdiff_t>(first + kDowns - 3),
                                [](const std::string& e) { return e.rfind("left-drag ", 0) == 0; }),
                  kDowns - 4)
            << k;
    }
    EXPECT_EQ(late.descriptors, early.descriptors);
    // A leak of a few bytes per packet would show as hundreds of KiB here.
    EXPECT_LE(late.rssKiB - early.rssKiB, 1024) << early.rssKiB << " KiB -> " << late.rssKiB;
    std::printf("rss %ld -> %ld KiB, descriptors %zu -> %zu\n", early.rssKiB, late.rssKiB,
                early.descriptors, late.descriptors);
    expectCleanQuit();
}

TEST_F(FaultSuite, StrokesDecodeExactlyAfterHalfAMinuteOfLineNoise) {
    start();
    // Random bytes at the line's rate, 1920 a second: mode switches, stray
    // heads, half packets, click and calibration commands.
    std::mt19937 random(20240516);
    const auto end = Clock::now() + 30s;
    auto next = Clock::now();
    while (Clock::now() < end) {
        std::vector<std::uint8_t> bytes(16);
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(random() & 0xFF);
        }
        std::this_thread::sleep_until(next);
        next += std::chrono::microseconds(1'000'000 * 16 / 1920);
        driver_->send(bytes);
    }
    // The board falls silent: whatever the noise left pressed is let go.
    ASSERT_TRUE(driver_->waitForNextHandshake(5s));
    expectStrokesDecodeAsAtStart();
    EXPECT_FALSE(driver_->waitForExit(0ms));
    expectCleanQuit();
}

}  // namespace
}  // namespace zorvan::test
