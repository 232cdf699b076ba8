#include <gtest/gtest.h>

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

TEST(VXSerialPortBackgroundTest, ThreadsKeepThePortAlive) {
    BackgroundPort bg;
    std::weak_ptr<VXSerialPort> weak = bg.port;
    bg.port->readDataInBackground();
    bg.port.reset();
    EXPECT_FALSE(weak.expired());
    bg.pty.write(bytesOf("x"));
    test::spinUntil(*bg.loop, [&] { return !bg.recorder->chunks.empty(); });
    EXPECT_EQ(bg.recorder->chunks, std::vector<std::string>{"x"});
    test::spinUntil(*bg.loop, [&] { return weak.expired(); });
    EXPECT_TRUE(weak.expired());
    bg.port = std::make_shared<VXSerialPort>("/nonexistent", "none", "");
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
