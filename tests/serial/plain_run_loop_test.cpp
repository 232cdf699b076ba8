#include "serial/plain_run_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "tests/serial/run_loop_conformance.h"

namespace zorvan::test {
namespace {

struct PlainDriver {
    serial::PlainRunLoop plain;
    serial::RunLoop& loop() { return plain; }
    void spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) {
            plain.runFor(2ms);
        }
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Plain, RunLoopConformance, PlainDriver);

TEST(PlainRunLoopTest, QuitFromAnotherThreadEndsRun) {
    serial::PlainRunLoop loop;
    std::thread other([&] {
        std::this_thread::sleep_for(20ms);
        loop.quit();
    });
    loop.run();  // returns, or the test times out
    other.join();
    EXPECT_FALSE(loop.runFor(10ms)) << "a quit ends one run only";
}

TEST(PlainRunLoopTest, ClosedWatchedDescriptorIsDroppedNotSpunOn) {
    serial::PlainRunLoop loop;
    Readable* readable = new Readable;
    int calls = 0;
    loop.watchReadable(readable->fd(), [&] { ++calls; });
    delete readable;  // closed without unwatch
    int turns = 0;
    loop.post([&] { ++turns; });
    EXPECT_FALSE(loop.runFor(30ms));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(turns, 1);
}

TEST(PlainRunLoopTest, AThrowingTaskLeavesTheRestQueued) {
    serial::PlainRunLoop loop;
    bool later = false;
    loop.post([] { throw std::runtime_error("task"); });
    loop.post([&] { later = true; });
    EXPECT_THROW(loop.runFor(10ms), std::runtime_error);
    EXPECT_FALSE(later);
    loop.runFor(10ms);
    EXPECT_TRUE(later);
}

}  // namespace
}  // namespace zorvan::test
