#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/serial/umockdev_testbed.h"
#include "tests/support/child_process.h"

namespace zorvan::test {
namespace {

using namespace std::chrono_literals;

std::string tool() {
    const char* dir = std::getenv("ZORVAN_BIN_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/zorvan-serial";
}

const std::string kBoardLine =
    "SLAB_USBtoUART\t/dev/cu.SLAB_USBtoUART\tIOSerialStream\t10c4:ea60\tSilicon_Labs_CP2102_0001";

TEST(ZorvanSerialList, PrintsEachPortWithItsUsbIdentity) {
    Testbed bed;
    ASSERT_TRUE(bed.add(boardDescription()));
    ChildProcess list({tool(), "list"}, {});
    EXPECT_EQ(list.readLine(5s), kBoardLine);
    EXPECT_EQ(list.readLine(5s), std::nullopt);
    EXPECT_EQ(list.wait(5s), 0);
}

TEST(ZorvanSerialList, WatchPrintsArrivalsAndRemovalsUntilInterrupted) {
    Testbed bed;
    // Its stderr joins stdout so the test hears when the monitor is armed.
    ChildProcess watch({"/bin/sh", "-c", "exec \"$0\" list --watch 2>&1", tool()}, {});
    EXPECT_EQ(watch.readLine(10s),
              "zorvan-serial: watching for ports coming and going; Ctrl-C ends");
    ASSERT_TRUE(bed.add(boardDescription()));
    EXPECT_EQ(watch.readLine(5s), "+ " + kBoardLine);
    bed.remove(boardSyspath(), "/dev/ttyUSB0");
    EXPECT_EQ(watch.readLine(5s), "- SLAB_USBtoUART\t/dev/cu.SLAB_USBtoUART\tIOSerialStream");
    ::kill(watch.pid(), SIGINT);
    EXPECT_EQ(watch.wait(5s), 0);
}

}  // namespace
}  // namespace zorvan::test
