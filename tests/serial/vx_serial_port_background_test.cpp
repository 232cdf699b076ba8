#include <gtest/gtest.h>
#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "serial/serial.h"
#include "tests/serial/serial_io_test_support.h"

namespace zorvan::serial {
namespace {

using namespace std::chrono_literals;
using test::bytesOf;
using test::RawPort;

// Records every report, on the loop's thread.
struct Recorder : VXSerialPortReadDelegate, VXSerialPortWriteDelegate {
    std::vector<std::string> chunks;
    struct Progress {
        const VXSerialPort* port;  // not held: a held port would hold us back
        std::uint64_t value;
        std::uint64_t total;
    };
    std::vector<Progress> progress;
    std::thread::id thread;
    void serialPortReadData(const VXSerialReadReport& report) override {
        chunks.emplace_back(report.data.begin(), report.data.end());
        thread = std::this_thread::get_id();
    }
    void serialPortWriteProgress(const VXSerialWriteProgress& report) override {
        progress.push_back({report.serialPort.get(), report.value, report.total});
        thread = std::this_thread::get_id();
    }
};
struct ReadOnly : VXSerialPortReadDelegate {
    void serialPortReadData(const VXSerialReadReport&) override {}
};
struct WriteOnly : VXSerialPortWriteDelegate {
    void serialPortWriteProgress(const VXSerialWriteProgress&) override {}
};

struct BackgroundPort : RawPort {
    std::shared_ptr<PlainRunLoop> loop = std::make_shared<PlainRunLoop>();
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    BackgroundPort() {
        port->setRunLoop(loop);
        port->setDelegate(recorder);
    }
    ~BackgroundPort() { waitForThreads(); }
    void waitForThreads() {
        // A thread lets go of the port just after its count falls.
        test::spinUntil(*loop, [&] {
            return port->numberOfReadInBackgroundThreads() == 0 &&
                   port->numberOfWriteInBackgroundThreads() == 0 && port.use_count() == 1;
        });
        loop->runFor(20ms);  // the last reports
    }
};

TEST(VXSerialPortBackgroundTest, DelegateWithoutTheReportStartsNothing) {
    const struct {
        const char* name;
        std::shared_ptr<VXSerialPortDelegate> delegate;
        bool withLoop;
    } cases[] = {
        {"no delegate", nullptr, true},
        {"read delegate, write asked", std::make_shared<ReadOnly>(), true},
        {"write delegate, read asked", std::make_shared<WriteOnly>(), true},
        {"no run loop", std::make_shared<Recorder>(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawPort raw;
        if (c.withLoop) {
            raw.port->setRunLoop(std::make_shared<PlainRunLoop>());
        }
        raw.port->setDelegate(c.delegate);
        if (!raw.port->delegateHandlesReadInBackground()) {
            raw.port->readDataInBackground();
        }
        if (!raw.port->delegateHandlesWriteInBackground() || !c.withLoop) {
            raw.port->writeDataInBackground(bytesOf("abc"));
        }
        EXPECT_EQ(raw.port->numberOfReadInBackgroundThreads(), 0);
        EXPECT_EQ(raw.port->numberOfWriteInBackgroundThreads(), 0);
        EXPECT_TRUE(raw.pty.read(1, 100ms).empty());
    }
}

TEST(VXSerialPortBackgroundTest, ReadsRunOneAfterTheOther) {
    BackgroundPort bg;
    bg.port->readDataInBackground();
    bg.port->readDataInBackground();
    EXPECT_EQ(bg.port->numberOfReadInBackgroundThreads(), 2);
    bg.pty.write(bytesOf("abc"));
    test::spinUntil(*bg.loop, [&] { return !bg.recorder->chunks.empty(); });
    EXPECT_EQ(bg.recorder->thread, std::this_thread::get_id());
    bg.loop->runFor(100ms);
    EXPECT_EQ(bg.recorder->chunks, std::vector<std::string>{"abc"});
    EXPECT_EQ(bg.port->numberOfReadInBackgroundThreads(), 1);  // the second one waits
    bg.pty.write(bytesOf("d"));
    bg.waitForThreads();
    EXPECT_EQ(bg.recorder->chunks, (std::vector<std::string>{"abc", "d"}));
}

TEST(VXSerialPortBackgroundTest, CloseEndsAWaitingRead) {
    BackgroundPort bg;
    bg.port->readDataInBackground();
    std::this_thread::sleep_for(100ms);
    bg.port->close();
    bg.waitForThreads();
    EXPECT_EQ(bg.recorder->chunks, std::vector<std::string>{""});
    // A read started on the closed port ends without a report.
    bg.port->readDataInBackground();
    bg.waitForThreads();
    EXPECT_EQ(bg.recorder->chunks.size(), 1u);
}

// Runs one background read of "r" whose report is sent but not yet delivered,
// then applies change and delivers.
TEST(VXSerialPortBackgroundTest, ReportsGoToTheDelegateOfTheirSending) {
    const struct {
        const char* name;
        bool replace;      // another delegate takes over
        bool destroy;      // the sending delegate is gone
        bool writeReport;  // a write's progress instead of a read's chunk
        std::size_t toSender;
    } cases[] = {
        {"read, replaced", true, false, false, 1},
        {"read, destroyed", false, true, false, 0},
        {"read, replaced and destroyed", true, true, false, 0},
        {"write, replaced", true, false, true, 1},
        {"write, destroyed", false, true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BackgroundPort bg;
        std::weak_ptr<Recorder> sender = bg.recorder;
        if (c.writeReport) {
            ASSERT_TRUE(bg.port->setSpeed(9600));
            ASSERT_TRUE(bg.port->commitChanges());
            bg.port->writeDataInBackground(Bytes(4800, 'w'));  // reports at 0 at once
            EXPECT_EQ(bg.pty.read(4800, 5s).size(), 4800u);
        } else {
            bg.port->readDataInBackground();
            bg.pty.write(bytesOf("r"));
        }
        // The count falls once the report is on its way.
        const auto end = std::chrono::steady_clock::now() + 5s;
        while ((bg.port->numberOfReadInBackgroundThreads() > 0 ||
                bg.port->numberOfWriteInBackgroundThreads() > 0) &&
               std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(1ms);
        }
        auto successor = std::make_shared<Recorder>();
        if (c.replace) {
            bg.port->setDelegate(successor);
        }
        if (c.destroy) {
            bg.recorder = successor;  // the only hold on the sender goes
        }
        const std::size_t before = sender.expired() ? 0 : sender.lock()->chunks.size();
        bg.waitForThreads();
        EXPECT_TRUE(successor->chunks.empty());
        EXPECT_TRUE(successor->progress.empty());
        if (const auto first = sender.lock()) {
            const std::size_t got = c.writeReport ? first->progress.size() : first->chunks.size();
            EXPECT_GE(got, c.toSender + before);
        } else {
            EXPECT_EQ(c.toSender, 0u);
        }
    }
}

// A delegate that keeps the reports it gets, and with them their port.
struct Keeper : VXSerialPortReadDelegate {
    std::vector<VXSerialReadReport> reports;
    void serialPortReadData(const VXSerialReadReport& report) override {
        reports.push_back(report);
    }
};

TEST(VXSerialPortBackgroundTest, ADelegateKeepingReportsLetsThePortGo) {
    RawPort raw;
    auto loop = std::make_shared<PlainRunLoop>();
    auto keeper = std::make_shared<Keeper>();
    raw.port->setRunLoop(loop);
    raw.port->setDelegate(keeper);
    raw.port->readDataInBackground();
    raw.pty.write(bytesOf("k"));
    test::spinUntil(*loop, [&] { return !keeper->reports.empty(); });
    ASSERT_EQ(keeper->reports.size(), 1u);
    std::weak_ptr<VXSerialPort> weak = raw.port;
    raw.port.reset();
    keeper->reports.clear();
    test::spinUntil(*loop, [&] { return weak.expired(); });
    EXPECT_TRUE(weak.expired());
    std::weak_ptr<Keeper> weakKeeper = keeper;
    keeper.reset();
    EXPECT_TRUE(weakKeeper.expired());
    raw.port = std::make_shared<VXSerialPort>("/nonexistent", "none", "");
}

int threadsOfThisProcess() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

// The thread count once the threads of earlier tests (ports destroyed, their
// workers still on their way out) have ended: the lowest it reaches before
// holding still for 100 ms.
int settledThreadCount() {
    int lowest = threadsOfThisProcess();
    int steady = 0;
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (steady < 10 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
        const int now = threadsOfThisProcess();
        steady = now < lowest ? 0 : steady + 1;
        lowest = std::min(lowest, now);
    }
    return lowest;
}

TEST(VXSerialPortBackgroundTest, ChunksShareTheWorkersThatCloseEnds) {
    // A sanitizer's runtime starts a helper thread of its own with the first
    // thread: that one belongs to the baseline.
    std::thread([] {}).join();
    const int before = settledThreadCount();
    {
        BackgroundPort bg;
        for (int i = 0; i < 20; ++i) {
            bg.port->readDataInBackground();
            bg.port->writeDataInBackground(bytesOf("w"));
            bg.pty.write(bytesOf("r"));
            test::spinUntil(*bg.loop, [&] {
                return bg.recorder->chunks.size() == static_cast<std::size_t>(i + 1);
            });
            // A reader and a writer at most, however many chunks went by.
            EXPECT_LE(threadsOfThisProcess(), before + 2);
        }
        EXPECT_EQ(bg.pty.read(20, 1s).size(), 20u);
        bg.port->close();
        bg.waitForThreads();
    }
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (threadsOfThisProcess() > before && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(threadsOfThisProcess(), before);
}

TEST(VXSerialPortBackgroundTest, DefaultRunLoop) {
    const struct {
        const char* name;
        bool madeInsideALoop;  // created by a task of a running loop
        bool mainLoopSet;
        bool explicitLoop;
        const char* expected;  // "own", "creator", "main" or "none"
    } cases[] = {
        {"made inside a running loop", true, true, false, "creator"},
        {"made outside any loop, main loop set", false, true, false, "main"},
        {"made outside any loop, no main loop", false, false, false, "none"},
        {"set explicitly", true, true, true, "own"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto creator = std::make_shared<PlainRunLoop>();
        auto main = std::make_shared<PlainRunLoop>();
        auto own = std::make_shared<PlainRunLoop>();
        RunLoop::setMainLoop(c.mainLoopSet ? main : nullptr);
        std::shared_ptr<VXSerialPort> port;
        const auto make = [&] { port = std::make_shared<VXSerialPort>("/dev/null", "null", ""); };
        if (c.madeInsideALoop) {
            creator->post(make);
            creator->runFor(10ms);
        } else {
            make();
        }
        ASSERT_TRUE(port);
        if (c.explicitLoop) {
            port->setRunLoop(own);
        }
        const std::string expected = c.expected;
        const auto loop = port->runLoop();
        EXPECT_EQ(loop == own, expected == "own");
        EXPECT_EQ(loop == creator, expected == "creator");
        EXPECT_EQ(loop == main, expected == "main");
        EXPECT_EQ(loop == nullptr, expected == "none");
        // Back to the default.
        port->setRunLoop(nullptr);
        EXPECT_EQ(port->runLoop(), c.madeInsideALoop ? creator : (c.mainLoopSet ? main : nullptr));
        RunLoop::setMainLoop(nullptr);
    }
}

// Ports whose last client lets go while their background work waits: the
// port goes at once, closed with its settings put back, and its threads and
// descriptors with it.
TEST(VXSerialPortBackgroundTest, ThePortsLastReferenceEndsItsWork) {
    enum class Doing { ReadWaiting, WriteHeldUp, ReportWaitingOnItsOwnLoop };
    const struct {
        const char* name;
        Doing doing;
        int ports;
    } cases[] = {
        {"a read waiting on a silent device", Doing::ReadWaiting, 100},
        {"a write the device holds up", Doing::WriteHeldUp, 20},
        {"a report waiting on a loop only the port holds", Doing::ReportWaitingOnItsOwnLoop, 20},
    };
    std::thread([] {}).join();  // a sanitizer's helper thread joins the baseline
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<test::PtyPair>> devices;
        std::vector<termios> found;
        for (int i = 0; i < c.ports; ++i) {
            devices.push_back(std::make_unique<test::PtyPair>());
            termios t = test::deviceSettings(*devices.back());
            ::cfmakeraw(&t);
            ::cfsetspeed(&t, B9600);
            test::setDeviceSettings(*devices.back(), t);
            found.push_back(test::deviceSettings(*devices.back()));
        }
        auto sharedLoop = std::make_shared<PlainRunLoop>();
        auto recorder = std::make_shared<Recorder>();
        const int descriptors = test::openDescriptorCount();
        const int threads = threadsOfThisProcess();
        std::vector<std::shared_ptr<VXSerialPort>> held;
        std::vector<std::weak_ptr<VXSerialPort>> ports;
        std::vector<std::weak_ptr<RunLoop>> ownLoops;
        for (int i = 0; i < c.ports; ++i) {
            auto port = std::make_shared<VXSerialPort>(devices[i]->slavePath(), "pty", "");
            ASSERT_NE(port->open(), nullptr);
            ASSERT_TRUE(port->setSpeed(115200));
            ASSERT_TRUE(port->commitChanges());
            port->setDelegate(recorder);
            switch (c.doing) {
                case Doing::ReadWaiting:
                    port->setRunLoop(sharedLoop);
                    port->readDataInBackground();
                    break;
                case Doing::WriteHeldUp:
                    port->setRunLoop(sharedLoop);
                    port->writeDataInBackground(Bytes(1 << 20, 'h'));
                    break;
                case Doing::ReportWaitingOnItsOwnLoop: {
                    auto own = std::make_shared<PlainRunLoop>();
                    ownLoops.push_back(own);
                    port->setRunLoop(std::move(own));
                    port->readDataInBackground();
                    devices[i]->write(bytesOf("r"));
                    break;
                }
            }
            ports.push_back(port);
            held.push_back(std::move(port));
        }
        // Every job is waiting (or its report is on its loop) before the ports go.
        const auto settle = std::chrono::steady_clock::now() + 5s;
        for (const auto& port : held) {
            while (c.doing == Doing::ReportWaitingOnItsOwnLoop &&
                   port->numberOfReadInBackgroundThreads() > 0 &&
                   std::chrono::steady_clock::now() < settle) {
                std::this_thread::sleep_for(1ms);
            }
        }
        std::this_thread::sleep_for(200ms);
        const int busyThreads = threadsOfThisProcess();
        held.clear();

        int alive = 0;
        for (const auto& weak : ports) {
            alive += weak.expired() ? 0 : 1;
        }
        EXPECT_EQ(alive, 0) << "neither work nor reports hold a port";
        for (const auto& loop : ownLoops) {
            EXPECT_TRUE(loop.expired()) << "a port and its loop make no cycle";
        }
        for (int i = 0; i < c.ports; ++i) {
            EXPECT_TRUE(test::sameSettings(test::deviceSettings(*devices[i]), found[i]))
                << "port " << i << ": its settings put back";
        }
        const auto end = std::chrono::steady_clock::now() + 10s;
        while ((threadsOfThisProcess() > threads || test::openDescriptorCount() > descriptors) &&
               std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(1ms);
        }
        std::printf(
            "%s: %d ports dropped; threads %d before, %d busy, %d after; "
            "descriptors %d before, %d after\n",
            c.name, c.ports, threads, busyThreads, threadsOfThisProcess(), descriptors,
            test::openDescriptorCount());
        EXPECT_EQ(threadsOfThisProcess(), threads);
        EXPECT_EQ(test::openDescriptorCount(), descriptors);
        sharedLoop->runFor(20ms);
        EXPECT_TRUE(recorder->chunks.empty()) << "no report for a port that is gone";
        EXPECT_TRUE(recorder->progress.empty()) << "no report for a port that is gone";

        if (c.doing == Doing::ReadWaiting) {
            // Nothing of the dropped port reads the device any more.
            auto next = std::make_shared<VXSerialPort>(devices[0]->slavePath(), "pty", "");
            ASSERT_NE(next->open(), nullptr);
            next->setReadTimeout(2.0);
            devices[0]->write(bytesOf("12345"));
            SerialError error;
            const auto got = next->readBytes(5, &error);
            EXPECT_EQ(got.value_or(Bytes{}).size(), 5u);
        }
    }
}

TEST(VXSerialPortBackgroundTest, WriteProgressSchedule) {
    const struct {
        const char* name;
        std::size_t length;
        bool reports;
    } cases[] = {
        {"4800 bytes at 9600 bit/s: estimated 4 s", 4800, true},
        {"1200 bytes at 9600 bit/s: estimated 1 s", 1200, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BackgroundPort bg;
        ASSERT_TRUE(bg.port->setSpeed(9600));
        ASSERT_TRUE(bg.port->commitChanges());
        bg.port->writeDataInBackground(Bytes(c.length, 'w'));
        EXPECT_EQ(bg.pty.read(c.length, 5s).size(), c.length);
        bg.waitForThreads();
        const auto& progress = bg.recorder->progress;
        if (!c.reports) {
            EXPECT_TRUE(progress.empty());
            continue;
        }
        ASSERT_GE(progress.size(), 2u);
        EXPECT_EQ(progress.front().value, 0u);
        EXPECT_EQ(progress.back().value, c.length);
        for (const auto& p : progress) {
            EXPECT_EQ(p.total, c.length);
            EXPECT_EQ(p.port, bg.port.get());
        }
    }
}

// The owner edits the settings while writes it asked for run on the worker.
TEST(VXSerialPortBackgroundTest, SettingsMayChangeWhileWritesRun) {
    BackgroundPort bg;
    std::size_t total = 0;
    const auto end = std::chrono::steady_clock::now() + 200ms;
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
        bg.port->writeDataInBackground(Bytes(64, 'w'));
        total += 64;
        bg.port->setSpeed(i % 2 == 0 ? 9600 : 19200);
        bg.port->setDataBits(i % 2 == 0 ? 7 : 8);
        bg.port->setParity(i % 3);
        EXPECT_EQ(bg.pty.read(64, 2s).size(), 64u);
    }
    bg.waitForThreads();
    EXPECT_GT(total, 0u);
}

TEST(VXSerialPortBackgroundTest, WritesKeepTheirOrder) {
    BackgroundPort bg;
    std::string expected;
    for (char c = 'a'; c <= 'z'; ++c) {
        bg.port->writeDataInBackground(Bytes(300, static_cast<std::uint8_t>(c)));
        expected += std::string(300, c);
    }
    const auto got = bg.pty.read(expected.size(), 5s);
    EXPECT_EQ(std::string(got.begin(), got.end()), expected);
}

TEST(VXSerialPortBackgroundTest, StopEndsALongWriteAfterItsChunk) {
    BackgroundPort bg;
    const std::size_t total = 1 << 20;
    bg.port->writeDataInBackground(Bytes(total, 's'));
    // The pty fills up and the writer waits for room.
    std::this_thread::sleep_for(200ms);
    bg.port->stopWriteInBackground();
    std::size_t received = 0;
    while (bg.port->numberOfWriteInBackgroundThreads() > 0) {
        received += bg.pty.read(4096, 10ms).size();
    }
    received += bg.pty.read(total, 200ms).size();
    bg.waitForThreads();
    ASSERT_FALSE(bg.recorder->progress.empty());
    EXPECT_LT(received, total);
    EXPECT_EQ(bg.recorder->progress.back().value, received);
}

TEST(VXSerialPortBackgroundTest, CloseEndsAWriteTheDeviceHoldsUp) {
    BackgroundPort bg;
    bg.port->writeDataInBackground(Bytes(1 << 20, 'c'));
    std::this_thread::sleep_for(200ms);  // the pty fills up; no room ever comes
    bg.port->close();
    bg.waitForThreads();
    EXPECT_EQ(bg.port->numberOfWriteInBackgroundThreads(), 0);
}

TEST(VXSerialPortBackgroundTest, WriteOnAPortThatNeverOpened) {
    auto loop = std::make_shared<PlainRunLoop>();
    auto port = std::make_shared<VXSerialPort>("/nonexistent", "none", "");
    auto recorder = std::make_shared<Recorder>();
    port->setRunLoop(loop);
    port->setDelegate(recorder);
    port->writeDataInBackground(Bytes(100000, 'z'));  // speed 0: no estimate
    test::spinUntil(*loop, [&] {
        return port->numberOfWriteInBackgroundThreads() == 0 && port.use_count() == 1;
    });
    EXPECT_EQ(port->numberOfWriteInBackgroundThreads(), 0);
}

}  // namespace
}  // namespace zorvan::serial
