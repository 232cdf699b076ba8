#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"
#include "driver/app_controller.h"
#include "driver/board_input.h"
#include "driver/calibration_loader.h"
#include "driver/counting_calibration_loader.h"
#include "driver/stored_calibration_loader.h"
#include "pointer/recording_sink.h"
#include "tests/driver/pty_pair.h"
#include "tests/driver/reader_test_support.h"

namespace zorvan {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::vector<std::uint8_t> kHandshake{0xCE, 0, 0, 0, 0, 0, 0, 0};
const Packet kDown{0xEE, 0x00, 0x51, 0x01, 0x24, 0x03, 0x08, 0x00};
const Packet kUp{0xEE, 0x00, 0x61, 0x01, 0x24, 0x03, 0x08, 0x00};
const Packet kPenMode{0xE8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xCA};

std::vector<std::uint8_t> bytesOf(const Packet& packet) {
    return {packet.begin(), packet.end()};
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A controller reading a pty, with flags of its own unless given some.
struct ReaderFixture {
    explicit ReaderFixture(RunFlags* external = nullptr, CalibrationLoader* loader = nullptr,
                           std::function<std::int64_t()> pausingTool = {},
                           ProcessExitWatch::Mode toolWatch = ProcessExitWatch::Mode::Pidfd)
        : ownFlags(external ? nullptr : std::make_unique<RunFlags>()),
          flags(external ? *external : *ownFlags),
          controller({.runFlags = flags,
                      .devicePath = pty.slavePath(),
                      .log = [this](std::string_view line) { log.add(line); },
                      .warn = [this](std::string_view line) { warnings.add(line); },
                      .packetHandler = &handler,
                      .calibrationLoader = loader,
                      .closeMessages = closeMessages,
                      .abandonReader = test::failOnStuckReader,
                      .statusChanged = [this] { ++statusChanges; },
                      .pausingTool = std::move(pausingTool),
                      .pausingToolEnded = [this] { ++toolEnds; },
                      .toolWatch = toolWatch}) {}
    ~ReaderFixture() {
        controller.shutdown();
        std::fclose(closeMessages);
    }
    bool startAndOpen() {
        controller.startReaderThread();
        return waitUntil([&] { return flags.iRun.load() > 0; }, 2s);
    }
    // Pauses (or resumes) as the signals do, once the reader has seen it.
    bool setRunning(bool running) {
        const int changes = statusChanges.load();
        flags.bRun = running;
        controller.wakeReader();
        return waitUntil([&] { return statusChanges.load() > changes; }, 1s);
    }

    test::PtyPair pty;
    test::RecordingHandler handler;
    test::LogLines log;
    test::LogLines warnings;
    std::FILE* closeMessages = std::tmpfile();
    std::atomic<int> statusChanges{0};
    std::atomic<int> toolEnds{0};
    std::unique_ptr<RunFlags> ownFlags;
    RunFlags& flags;
    AppController controller;
};

TEST(ReaderLoop, FramesPacketsThenHandshakesAtEachSilenceWithOneLoad) {
    ReaderFixture f;
    ASSERT_TRUE(f.startAndOpen());

    // A packet split over two reads, two in one read, garbage before one.
    auto down = bytesOf(kDown);
    f.pty.write({down.begin(), down.begin() + 3});
    std::this_thread::sleep_for(7ms);
    f.pty.write({down.begin() + 3, down.end()});
    auto two = bytesOf(kPenMode);
    two.insert(two.end(), kUp.begin(), kUp.end());
    f.pty.write(two);
    auto garbage = std::vector<std::uint8_t>{0x01, 0x02, 0x03};
    garbage.insert(garbage.end(), kDown.begin(), kDown.end());
    f.pty.write(garbage);
    EXPECT_EQ(f.handler.waitFor(4, 1s), (std::vector<Packet>{kDown, kPenMode, kUp, kDown}));

    // A packet within the silence restarts its count.
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(f.pty.read(1, 0ms).empty());
    auto upAndStray = bytesOf(kUp);
    upAndStray.insert(upAndStray.end(), {0xEE, 0x00});  // a broken packet
    f.pty.write(upAndStray);
    const auto lastPacket = Clock::now();
    EXPECT_EQ(f.pty.read(8, 3s), kHandshake);
    EXPECT_GE(secondsSince(lastPacket), 1.45);
    EXPECT_EQ(f.controller.calibrationLoads(), 1);

    // Again after 301 further empty polls, without another load.
    const auto firstHandshake = Clock::now();
    EXPECT_EQ(f.pty.read(8, 3s), kHandshake);
    EXPECT_GE(secondsSince(firstHandshake), 1.45);
    EXPECT_EQ(f.controller.calibrationLoads(), 1);

    // The broken packet was dropped at the silence and spoils nothing.
    f.pty.write(bytesOf(kDown));
    const auto packets = f.handler.waitFor(6, 1s);
    ASSERT_EQ(packets.size(), 6u);
    EXPECT_EQ(packets.back(), kDown);
}

TEST(ReaderLoop, Usr2PausesAndUsr1ResumesWithAFreshLoad) {
    // As in the program: only the reader's wait takes the two signals.
    blockRunSignals();
    RunFlags& flags = processRunFlags();
    flags.bRun = true;
    flags.bNeedReadPara = true;
    ReaderFixture f(&flags);
    ASSERT_TRUE(installRunSignalHandlers());
    ASSERT_TRUE(f.startAndOpen());
    EXPECT_EQ(f.pty.read(8, 3s), kHandshake);
    EXPECT_EQ(f.controller.calibrationLoads(), 1);

    // Paused half-way through a silence: no handshake while paused, and the
    // silence goes on from where it stopped, not from the start nor at once.
    std::this_thread::sleep_for(500ms);
    int changes = f.statusChanges.load();
    ASSERT_EQ(::kill(::getpid(), SIGUSR2), 0);
    EXPECT_TRUE(waitUntil([&] { return f.statusChanges.load() > changes; }, 1s))
        << "the reader did not wake for the pause";
    EXPECT_TRUE(f.pty.read(8, 1500ms).empty()) << "a handshake while paused";
    ASSERT_EQ(::kill(::getpid(), SIGUSR1), 0);
    const auto resumed = Clock::now();
    EXPECT_EQ(f.pty.read(8, 3s), kHandshake);
    EXPECT_GE(secondsSince(resumed), 0.9);
    EXPECT_EQ(f.controller.calibrationLoads(), 2) << "SIGUSR1 asks for a load";

    // SIGUSR1 vouches for the calibration anew.
    changes = f.statusChanges.load();
    ASSERT_EQ(::kill(::getpid(), SIGUSR2), 0);
    ASSERT_TRUE(waitUntil([&] { return f.statusChanges.load() > changes; }, 1s));
    flags.bGet = false;
    ASSERT_EQ(::kill(::getpid(), SIGUSR1), 0);
    EXPECT_TRUE(waitUntil([&] { return flags.bRun.load(); }, 1s));
    EXPECT_TRUE(flags.bRun.load() && flags.bNeedReadPara.load() && flags.bGet.load());
    EXPECT_EQ(f.pty.read(8, 3s), kHandshake);
    EXPECT_EQ(f.controller.calibrationLoads(), 3);
}

TEST(ReaderLoop, WhatTheBoardSentWhileNobodyReadIsDiscarded) {
    // Touches made while the driver was away or paused (for the calibration
    // tool) would replay as clicks.
    for (const bool whilePaused : {false, true}) {
        SCOPED_TRACE(whilePaused ? "while paused" : "before the open");
        ReaderFixture f;
        // The line raw from the start, so that the bytes wait whole in it.
        const int probe = ::open(f.pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios raw{};
        ASSERT_EQ(::tcgetattr(probe, &raw), 0);
        ::cfmakeraw(&raw);
        ASSERT_EQ(::tcsetattr(probe, TCSANOW, &raw), 0);
        if (whilePaused) {
            ASSERT_TRUE(f.startAndOpen());
            ASSERT_TRUE(f.setRunning(false));
        }
        f.pty.write(bytesOf(kDown));
        f.pty.write({0xEE, 0x00, 0x51});  // and half a packet
        std::this_thread::sleep_for(100ms);
        if (whilePaused) {
            ASSERT_TRUE(f.setRunning(true));
        } else {
            ASSERT_TRUE(f.startAndOpen());
        }
        std::this_thread::sleep_for(50ms);
        f.pty.write(bytesOf(kUp));
        EXPECT_EQ(f.handler.waitFor(2, 300ms), std::vector<Packet>{kUp});
        ::close(probe);
    }
}

TEST(ReaderLoop, PausedForAToolThatEndsWithoutResumingReadsAgain) {
    // The tool crashed or was killed: reading resumes as its SIGUSR1 would
    // have made it, with a load at the next silence.
    struct Case {
        const char* what;
        std::int64_t (*tool)(pid_t child);
        ProcessExitWatch::Mode watch;
        bool resumes;
    };
    const Case cases[] = {
        {"pidfd", [](pid_t child) -> std::int64_t { return child; }, ProcessExitWatch::Mode::Pidfd,
         true},
        {"checks without pidfd", [](pid_t child) -> std::int64_t { return child; },
         ProcessExitWatch::Mode::Checks, true},
        {"gone before the pause", [](pid_t) -> std::int64_t { return -1; },
         ProcessExitWatch::Mode::Pidfd, true},
        {"no tool known", [](pid_t) -> std::int64_t { return 0; }, ProcessExitWatch::Mode::Pidfd,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                ::pause();
            }
        }
        {
            ReaderFixture f(
                nullptr, nullptr, [&] { return c.tool(child); }, c.watch);
            ASSERT_TRUE(f.startAndOpen());
            f.flags.bNeedReadPara = false;
            f.flags.bGet = false;
            ASSERT_TRUE(f.setRunning(false));
            std::this_thread::sleep_for(200ms);
            const int changes = f.statusChanges.load();
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);

            if (c.resumes && c.tool(child) > 0) {
                // Told once the resume has discarded what came while paused.
                EXPECT_TRUE(waitUntil([&] { return f.statusChanges.load() > changes; }, 2500ms))
                    << "still paused for a tool that has ended";
            } else {
                std::this_thread::sleep_for(300ms);
            }
            EXPECT_EQ(f.flags.bRun.load(), c.resumes);
            EXPECT_EQ(f.flags.bNeedReadPara.load() && f.flags.bGet.load(), c.resumes);
            EXPECT_EQ(f.toolEnds.load(), c.resumes ? 1 : 0);
            f.pty.write(bytesOf(kDown));
            EXPECT_EQ(f.handler.waitFor(1, 300ms).size(), c.resumes ? 1u : 0u);
        }
    }
}

TEST(ReaderLoop, RunSignalsThatCameWhileNoReaderWaitedActOnceTaken) {
    // No reader: the signals stay pending until a new reader or an arrival
    // takes them; both ended up with the calibration tool having resumed.
    blockRunSignals();
    ASSERT_TRUE(installRunSignalHandlers());
    RunFlags& flags = processRunFlags();
    struct Case {
        std::vector<int> sent;
        bool bRun;
        bool bGet;
    };
    for (const Case& c :
         {Case{{}, true, false}, Case{{SIGUSR2}, false, false}, Case{{SIGUSR1}, true, true},
          Case{{SIGUSR2, SIGUSR1}, true, true}, Case{{SIGUSR1, SIGUSR2}, true, true}}) {
        SCOPED_TRACE(c.sent.size());
        flags.bRun = true;
        flags.bGet = false;
        for (const int signalNumber : c.sent) {
            ASSERT_EQ(::kill(::getpid(), signalNumber), 0);
        }
        EXPECT_FALSE(flags.bGet.load()) << "handled before anyone took it";
        takePendingRunSignals();
        EXPECT_EQ(flags.bRun.load(), c.bRun);
        EXPECT_EQ(flags.bGet.load(), c.bGet);
        sigset_t pending;
        ASSERT_EQ(::sigpending(&pending), 0);
        EXPECT_FALSE(sigismember(&pending, SIGUSR1) || sigismember(&pending, SIGUSR2));
    }
    flags.bGet = true;
}

// Notes how many loads had been made when each packet was handed over.
class LoadsSeenByPackets final : public PacketHandler {
  public:
    explicit LoadsSeenByPackets(const CountingCalibrationLoader& loader) : loader_(loader) {}
    void handlePacket(const Packet& /*packet*/, std::int32_t& /*iDownSkip*/) override {
        std::lock_guard lock(mutex_);
        seen_.push_back(loader_.calls());
    }
    std::vector<int> seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

  private:
    const CountingCalibrationLoader& loader_;
    std::mutex mutex_;
    std::vector<int> seen_;
};

TEST(ReaderLoop, TheFirstPacketIsDecodedWithTheCalibrationLoaded) {
    // A pen already on the board at start, or a board that never falls
    // silent, must not land at the top-left corner for want of a load.
    CountingCalibrationLoader loader;
    LoadsSeenByPackets handler(loader);
    RunFlags flags;
    test::PtyPair pty;
    std::FILE* closeMessages = std::tmpfile();
    AppController controller({.runFlags = flags,
                              .devicePath = pty.slavePath(),
                              .packetHandler = &handler,
                              .calibrationLoader = &loader,
                              .closeMessages = closeMessages});
    controller.startReaderThread();
    ASSERT_TRUE(waitUntil([&] { return flags.iRun.load() > 0; }, 2s));
    for (int i = 0; i < 5; ++i) {
        pty.write(bytesOf(kDown));
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(waitUntil([&] { return handler.seen().size() == 5; }, 1s));
    EXPECT_EQ(handler.seen(), (std::vector<int>{1, 1, 1, 1, 1}));

    // That load was the pending one: the silence only sends the handshake.
    EXPECT_EQ(pty.read(8, 3s), kHandshake);
    EXPECT_EQ(loader.calls(), 1);

    // Once loaded, a new reader loads at its first silence again, not before
    // its first packet.
    controller.shutdown();
    controller.startReaderThread();
    ASSERT_TRUE(waitUntil([&] { return flags.iRun.load() > 0; }, 2s));
    pty.write(bytesOf(kDown));
    ASSERT_TRUE(waitUntil([&] { return handler.seen().size() == 6; }, 1s));
    EXPECT_EQ(handler.seen().back(), 1);
    EXPECT_EQ(pty.read(8, 3s), kHandshake);
    EXPECT_EQ(loader.calls(), 2);
    controller.shutdown();
    std::fclose(closeMessages);
}

TEST(ReaderLoop, Usr1DuringALoadLeavesAnotherLoadPending) {
    // The driver's own handlers and flags, and the real load of a grid that
    // fails its spacing check; the calibration tool's SIGUSR1 comes while the
    // first load's alert is up.
    RunFlags& flags = processRunFlags();
    flags.bRun = true;
    flags.bGet = true;
    ASSERT_TRUE(installRunSignalHandlers());
    CalibrationTables tables;
    MemorySettingsStore store;
    store.setInteger("DotCount", 2);
    const float raw[4][2] = {{500, 400}, {500, 3600}, {3500, 400}, {505, 3600}};
    for (int dot = 0; dot < 4; ++dot) {
        store.setFloat(dotKey(dot, 'x'), raw[dot][0]);
        store.setFloat(dotKey(dot, 'y'), raw[dot][1]);
    }
    struct : MainDisplay {
        DisplaySize pixelSize() const override { return {1000, 800}; }
    } display;
    int alerts = 0;  // reader thread only, read after it has ended
    StoredCalibrationLoader loader(tables, store, display, 1, flags.bGet, [&alerts] {
        if (++alerts == 1) {
            ::raise(SIGUSR1);
        }
    });
    {
        ReaderFixture f(&flags, &loader);
        ASSERT_TRUE(f.startAndOpen());
        EXPECT_EQ(f.pty.read(8, 3s), kHandshake);
        EXPECT_EQ(f.pty.read(8, 3s), kHandshake);
    }
    // The signal asked for the second load and vouched for the grid anew; the
    // second load's check, made after it, failed the grid again.
    EXPECT_EQ(store.synchronizeCount(), 2);
    EXPECT_EQ(alerts, 2);
    EXPECT_FALSE(flags.bGet.load());
    EXPECT_EQ(tables.DIS_LIMIT, 90);
}

TEST(ReaderLoop, StopEndsAPausedReaderAndRestoresTheTerminal) {
    ReaderFixture f;
    const int probe = ::open(f.pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios before{};
    ::tcgetattr(probe, &before);
    ASSERT_TRUE(before.c_lflag & ECHO);
    ASSERT_TRUE(f.startAndOpen());
    f.flags.bRun = false;
    f.controller.wakeReader();
    std::this_thread::sleep_for(30ms);

    const auto stop = Clock::now();
    f.controller.shutdown();
    EXPECT_LT(secondsSince(stop), 1.0);
    EXPECT_EQ(f.flags.iRun.load(), -1);
    termios after{};
    ::tcgetattr(probe, &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    ::close(probe);
    f.controller.shutdown();  // idempotent

    // A new reader may start once the old one has ended.
    f.flags.bRun = true;
    ASSERT_TRUE(f.startAndOpen());
    EXPECT_FALSE(f.controller.startReaderThread());  // one reader at a time
    f.pty.write(bytesOf(kDown));
    EXPECT_EQ(f.handler.waitFor(1, 1s).size(), 1u);
}

TEST(ReaderLoop, FailedOpenIsToldOncePerReason) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zorvan-open-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    RunFlags flags;
    test::LogLines log;
    test::LogLines warnings;
    std::FILE* closeMessages = std::tmpfile();
    {
        AppController controller({.runFlags = flags,
                                  .devicePath = (dir / "board").string(),
                                  .log = [&](std::string_view line) { log.add(line); },
                                  .warn = [&](std::string_view line) { warnings.add(line); },
                                  .closeMessages = closeMessages});
        const auto attempt = [&] {
            const auto start = Clock::now();
            EXPECT_TRUE(controller.startReaderThread());
            EXPECT_TRUE(waitUntil([&] { return flags.iRun.load() == -1; }, 2s));
            EXPECT_GE(secondsSince(start), 0.49);
        };
        attempt();
        attempt();
        const std::string missing = "waiting for the board at " + (dir / "board").string() +
                                    ": no such device yet (plug the board in, or name its port "
                                    "with --device)";
        EXPECT_EQ(log.lines(), std::vector<std::string>{missing});
        EXPECT_EQ(warnings.lines(), std::vector<std::string>{missing});

        std::filesystem::create_directory(dir / "board");  // now a new reason
        attempt();
        EXPECT_EQ(warnings.lines().size(), 2u);
        EXPECT_EQ(warnings.lines().back(), (dir / "board").string() + " is not a serial device");
    }
    EXPECT_EQ(std::ftell(closeMessages), 0);  // nothing was closed
    std::fclose(closeMessages);
    std::filesystem::remove_all(dir);
}

// Pointer events posted by the reader thread, read by the test thread.
class LockedSink final : public MouseEventSink {
  public:
    void post(const MouseEvent& event) override {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    std::vector<MouseEvent> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

  private:
    std::mutex mutex_;
    std::vector<MouseEvent> events_;
};

TEST(ReaderLoop, AContactHeldAtASilenceOrWhenTheReaderStopsIsReleasedAtItsLastPoint) {
    LockedSink sink;
    BoardInput input(sink, [] {});
    {
        // A 2 x 2 grid over a 1000 x 800 display, loaded before the reader runs.
        MemorySettingsStore store;
        store.setInteger("DotCount", 2);
        const float raw[4][2] = {{500, 400}, {500, 3600}, {3500, 400}, {3500, 3600}};
        for (int dot = 0; dot < 4; ++dot) {
            store.setFloat(dotKey(dot, 'x'), raw[dot][0]);
            store.setFloat(dotKey(dot, 'y'), raw[dot][1]);
        }
        struct : MainDisplay {
            DisplaySize pixelSize() const override { return {1000, 800}; }
        } display;
        std::atomic<bool> bGet{true};
        ReadSystemParam(input.tables(), store, display, 1, bGet, nullptr);
    }
    RunFlags flags;
    test::PtyPair pty;
    std::FILE* closeMessages = std::tmpfile();
    AppController controller({.runFlags = flags,
                              .devicePath = pty.slavePath(),
                              .packetHandler = &input,
                              .closeMessages = closeMessages});
    controller.startReaderThread();
    ASSERT_TRUE(waitUntil([&] { return flags.iRun.load() > 0; }, 2s));

    // A pen stroke of nine downs, then the start of a tenth, then nothing.
    std::vector<std::uint8_t> bytes = bytesOf(kPenMode);
    for (int i = 0; i < 9; ++i) {
        const auto down = bytesOf(makeDataPacket(0x51, 2000 + 100 * i, 2000));
        bytes.insert(bytes.end(), down.begin(), down.end());
    }
    bytes.insert(bytes.end(), {0xEE, 0x00, 0x51});
    pty.write(bytes);
    const auto released = [&] {
        const auto events = sink.events();
        return !events.empty() && events.back().type == MouseEventType::LeftUp;
    };
    ASSERT_TRUE(waitUntil(released, 3s)) << "the silent board left the button pressed";
    auto events = sink.events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0].type, MouseEventType::LeftDown);
    const MouseEvent& lastDrag = events[events.size() - 2];
    EXPECT_EQ(lastDrag.type, MouseEventType::LeftDragged);
    EXPECT_EQ(events.back().point, lastDrag.point);

    // The next stroke presses anew instead of dragging from the old place.
    const std::size_t before = events.size();
    pty.write(bytesOf(makeDataPacket(0x51, 3000, 3000)));
    ASSERT_TRUE(waitUntil([&] { return sink.events().size() > before; }, 1s));
    EXPECT_EQ(sink.events()[before].type, MouseEventType::LeftDown);

    // A reader that stops (removal, quit) lets go as well.
    controller.shutdown();
    events = sink.events();
    EXPECT_EQ(events.back().type, MouseEventType::LeftUp);
    EXPECT_EQ(events.back().point, events[before].point);
    std::fclose(closeMessages);
}

// A load that never returns, like an open() of a settings file on a stalled
// network home.
class StuckLoader final : public CalibrationLoader {
  public:
    bool load() override {
        for (;;) {
            ::pause();
        }
    }
};

TEST(ReaderLoop, QuittingWaitsNoMoreThanAboutTwoSecondsForAStuckReader) {
    test::PtyPair pty;
    int report[2];
    int errors[2];
    ASSERT_EQ(::pipe(report), 0);
    ASSERT_EQ(::pipe(errors), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(errors[1], 2);
        RunFlags flags;
        StuckLoader loader;
        test::RecordingHandler handler;
        AppController controller({.runFlags = flags,
                                  .devicePath = pty.slavePath(),
                                  .packetHandler = &handler,
                                  .calibrationLoader = &loader,
                                  .closeMessages = std::tmpfile()});
        controller.startReaderThread();
        if (!waitUntil([&] { return flags.iRun.load() > 0; }, 2s)) {
            ::_exit(10);
        }
        pty.write(bytesOf(kDown));  // the first packet waits for the load
        std::this_thread::sleep_for(200ms);
        [[maybe_unused]] auto n = ::write(report[1], "q", 1);
        controller.shutdown();  // the application quits
        ::_exit(20);            // only if the stuck reader was joined after all
    }
    ::close(errors[1]);
    char byte = 0;
    ASSERT_EQ(::read(report[0], &byte, 1), 1);
    const auto quit = Clock::now();
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0 && secondsSince(quit) < 6) {
        std::this_thread::sleep_for(10ms);
    }
    const double waited = secondsSince(quit);
    if (waited >= 6) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    EXPECT_LT(waited, 3.0) << "quitting waited for the stuck reader";
    EXPECT_GE(waited, 1.9);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    char text[512] = {};
    const ssize_t n = ::read(errors[0], text, sizeof text - 1);
    EXPECT_NE(std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0).find("did not stop"),
              std::string::npos);
    for (int fd : {report[0], report[1], errors[0]}) {
        ::close(fd);
    }
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](timeval t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The child is the driver started as a session leader (as by a service
// manager); the parent is the board that goes away.
TEST(ReaderLoop, SessionLeaderSurvivesTheBoardGoingAwayWithoutSpinning) {
    test::PtyPair pty;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pty.master());  // only the parent plays the board
        ::setsid();
        RunFlags flags;
        std::FILE* closeMessages = std::tmpfile();
        test::RecordingHandler handler;
        int status = 0;
        {
            AppController controller({.runFlags = flags,
                                      .devicePath = pty.slavePath(),
                                      .packetHandler = &handler,
                                      .closeMessages = closeMessages});
            controller.startReaderThread();
            if (!waitUntil([&] { return flags.iRun.load() > 0; }, 2s)) {
                ::_exit(10);
            }
            [[maybe_unused]] auto n = ::write(ready[1], "r", 1);
            std::this_thread::sleep_for(100ms);  // the parent closes the master
            const double cpuBefore = cpuSeconds();
            std::this_thread::sleep_for(500ms);
            if (cpuSeconds() - cpuBefore > 0.15) {
                status |= 1;  // the reader spins
            }
            if (::open("/dev/tty", O_RDWR) >= 0) {
                status |= 2;  // the board became the controlling terminal
            }
            if (handler.count() != 0) {
                status |= 4;  // decoded bytes that never came
            }
            controller.shutdown();
        }
        std::fflush(closeMessages);
        if (std::ftell(closeMessages) == 0) {
            status |= 8;  // the close did not notice the device was gone
        }
        ::_exit(status);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    pty.closeMaster();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace zorvan
