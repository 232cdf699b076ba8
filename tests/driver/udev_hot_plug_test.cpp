// The driver following the board through real udev events, in a umockdev
// testbed whose board device node is a pty the test plays the board on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "driver/app_controller.h"
#include "serial/plain_run_loop.h"
#include "serial/udev_port_registry.h"
#include "serial/vx_serial_port_list.h"
#include "tests/driver/reader_test_support.h"
#include "tests/serial/umockdev_testbed.h"
#include "tests/support/child_process.h"

namespace zorvan {
namespace {

using namespace std::chrono_literals;

class UdevPortList : public serial::VXSerialPortList {
  public:
    explicit UdevPortList(serial::RunLoop& loop)
        : VXSerialPortList(std::make_unique<serial::UdevPortRegistry>(), &loop) {}
};

const Packet kDown{0xEE, 0x00, 0x51, 0x01, 0x24, 0x03, 0x08, 0x00};

TEST(UdevHotPlug, UnplugEndsTheReaderAndReplugReadsTheBoardAgain) {
    test::Testbed bed;
    ASSERT_TRUE(bed.add(test::boardDescription("ttyUSB0")));
    ASSERT_TRUE(bed.link("/dev/ttyUSB0", "tty.SLAB_USBtoUART"));
    serial::PlainRunLoop loop;
    UdevPortList list(loop);
    RunFlags flags;
    test::LogLines log;
    test::RecordingHandler handler;
    std::FILE* quiet = std::tmpfile();
    std::FILE* arrivals = std::tmpfile();
    auto pumpUntil = [&](const std::function<bool()>& condition) {
        for (int turns = 0; !condition(); ++turns) {
            if (turns == 300) {
                return false;
            }
            loop.runFor(10ms);
        }
        return true;
    };
    auto logged = [&](const std::string& text) {
        for (const std::string& line : log.lines()) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    {
        // The board at its usual name, recognised by its usual port.
        AppController controller({.runFlags = flags,
                                  .log = [&](std::string_view line) { log.add(line); },
                                  .warn = [](std::string_view) {},
                                  .packetHandler = &handler,
                                  .closeMessages = quiet,
                                  .mainLoop = &loop,
                                  .arrivalMessages = arrivals});
        controller.subscribeToPortList(list);
        ASSERT_EQ(list.count(), 1u);
        // --device with the node or a link udev made also finds the board.
        for (const char* devicePath :
             {"/dev/ttyUSB0", "/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00", "/dev/ttyUSB1"}) {
            AppController matcher({.runFlags = flags, .devicePath = devicePath});
            EXPECT_EQ(matcher.isBoardPort(*list.objectAtIndex(0)),
                      std::string(devicePath) != "/dev/ttyUSB1")
                << devicePath;
        }
        controller.startReaderThread();
        ASSERT_TRUE(pumpUntil([&] { return flags.iRun.load() > 0; }));
        ASSERT_EQ(::write(bed.masterOf("/dev/ttyUSB0"), kDown.data(), kDown.size()), 8);
        ASSERT_EQ(handler.waitFor(1, 2s).size(), 1u);

        bed.remove(test::boardSyspath("ttyUSB0"), "/dev/ttyUSB0");
        ASSERT_TRUE(pumpUntil([&] { return logged("didRemovePorts:"); }));
        EXPECT_EQ(flags.iRun.load(), -1);

        // Another device comes and goes: logged only.
        ASSERT_TRUE(
            bed.add("P: /devices/virtual/usb3/tty/ttyACM0\nN: ttyACM0\n"
                    "E: DEVNAME=/dev/ttyACM0\nE: SUBSYSTEM=tty\n\n"
                    "P: /devices/virtual/usb3\nE: SUBSYSTEM=usb\n"));
        ASSERT_TRUE(pumpUntil([&] { return logged("name: ttyACM0"); }));
        loop.runFor(150ms);
        EXPECT_EQ(flags.iRun.load(), -1);

        // Plugged in again, the bridge comes back under another number.
        ASSERT_TRUE(bed.add(test::boardDescription("ttyUSB1")));
        ASSERT_TRUE(bed.link("/dev/ttyUSB1", "tty.SLAB_USBtoUART"));
        ASSERT_TRUE(pumpUntil([&] { return flags.iRun.load() > 0; }));
        ASSERT_EQ(::write(bed.masterOf("/dev/ttyUSB1"), kDown.data(), kDown.size()), 8);
        EXPECT_EQ(handler.waitFor(2, 2s).size(), 2u) << "the new reader decodes";
        controller.shutdown();
    }
    std::rewind(arrivals);
    char line[16] = {};
    EXPECT_NE(std::fgets(line, sizeof line, arrivals), nullptr);
    EXPECT_STREQ(line, "Add!!\n");
    std::fclose(quiet);
    std::fclose(arrivals);
}

const char* const kOtherPort =
    "P: /devices/virtual/usb3/tty/ttyACM0\nN: ttyACM0\n"
    "E: DEVNAME=/dev/ttyACM0\nE: SUBSYSTEM=tty\n\n"
    "P: /devices/virtual/usb3\nE: SUBSYSTEM=usb\n";

// The bridge plugged in, with the link udev's rule makes.
bool plugBoard(test::Testbed& bed) {
    return bed.add(test::boardDescription("ttyUSB0")) &&
           bed.link("/dev/ttyUSB0", "tty.SLAB_USBtoUART");
}

// A controller on the board's usual name in a testbed, its main loop pumped
// by the test.
struct UdevBoardDriver {
    explicit UdevBoardDriver(test::Testbed& testbed) : bed(testbed), list(loop) {
        controller.subscribeToPortList(list);
    }
    ~UdevBoardDriver() {
        controller.shutdown();
        std::fclose(quiet);
        std::fclose(arrivals);
    }
    bool pumpUntil(const std::function<bool()>& condition) {
        for (int turns = 0; !condition(); ++turns) {
            if (turns == 300) {
                return false;
            }
            loop.runFor(10ms);
        }
        return true;
    }
    bool reads(const std::string& node) {
        if (!pumpUntil([&] { return flags.iRun.load() > 0; })) {
            return false;
        }
        const std::size_t before = handler.count();
        return ::write(bed.masterOf(node), kDown.data(), kDown.size()) == 8 &&
               handler.waitFor(before + 1, 2s).size() == before + 1;
    }
    std::size_t logCount(const std::string& text) {
        const auto lines = log.lines();
        return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](auto& l) {
            return l.find(text) != std::string::npos;
        }));
    }

    test::Testbed& bed;
    serial::PlainRunLoop loop;
    UdevPortList list;
    RunFlags flags;
    test::LogLines log;
    test::RecordingHandler handler;
    std::FILE* quiet = std::tmpfile();
    std::FILE* arrivals = std::tmpfile();
    AppController controller{{.runFlags = flags,
                              .log = [this](std::string_view line) { log.add(line); },
                              .warn = [](std::string_view) {},
                              .packetHandler = &handler,
                              .closeMessages = quiet,
                              .abandonReader = test::failOnStuckReader,
                              .mainLoop = &loop,
                              .arrivalMessages = arrivals}};
};

TEST(UdevHotPlug, TheBoardPluggedInWhileTheFirstOpenFailsIsRead) {
    // Plugged in within the failed open's pause, and well before its end.
    for (const auto plugAfter : {150ms, 300ms}) {
        SCOPED_TRACE(plugAfter.count());
        test::Testbed bed;
        UdevBoardDriver driver(bed);
        driver.controller.startReaderThread();
        driver.loop.runFor(plugAfter);
        ASSERT_TRUE(plugBoard(bed));
        EXPECT_TRUE(driver.reads("/dev/ttyUSB0")) << "the arrival was lost to the failing open";
        EXPECT_FALSE(driver.controller.startReaderThread()) << "one reader at a time";
    }
}

TEST(UdevHotPlug, TheBoardIsFoundAnywhereInABatch) {
    // Both devices announced while the driver's loop does not turn reach it
    // as one batch, as a hub or a dock gives it; the board may come first or not.
    struct Case {
        bool removal;
        bool boardFirst;
    };
    for (const Case c :
         {Case{false, true}, Case{false, false}, Case{true, true}, Case{true, false}}) {
        SCOPED_TRACE(std::string(c.removal ? "removal" : "arrival") +
                     (c.boardFirst ? ", board first" : ", board second"));
        test::Testbed bed;
        if (c.removal) {
            ASSERT_TRUE(plugBoard(bed));
            ASSERT_TRUE(bed.add(kOtherPort));
        }
        UdevBoardDriver driver(bed);
        if (c.removal) {
            driver.controller.startReaderThread();
            ASSERT_TRUE(driver.reads("/dev/ttyUSB0"));
        } else {
            driver.controller.startReaderThread();
            ASSERT_TRUE(driver.pumpUntil([&] { return driver.flags.iRun.load() < 0; }));
        }
        driver.loop.runFor(150ms);  // what the start announced is taken

        const std::function<void()> board = [&] {
            if (c.removal) {
                bed.remove(test::boardSyspath("ttyUSB0"), "/dev/ttyUSB0");
            } else {
                ASSERT_TRUE(plugBoard(bed));
            }
        };
        const std::function<void()> other = [&] {
            if (c.removal) {
                bed.remove("/sys/devices/virtual/usb3/tty/ttyACM0", "/dev/ttyACM0");
            } else {
                ASSERT_TRUE(bed.add(kOtherPort));
            }
        };
        // Apart enough for the testbed's event queue.
        (c.boardFirst ? board : other)();
        std::this_thread::sleep_for(150ms);
        (c.boardFirst ? other : board)();
        std::this_thread::sleep_for(150ms);

        if (c.removal) {
            ASSERT_TRUE(driver.pumpUntil([&] { return driver.logCount("didRemovePorts:") > 0; }));
            driver.loop.runFor(100ms);
            EXPECT_EQ(driver.logCount("didRemovePorts:"), 1u) << "not one batch";
            EXPECT_EQ(driver.flags.iRun.load(), -1) << "the reader kept the removed board";
        } else {
            EXPECT_TRUE(driver.reads("/dev/ttyUSB0")) << "the arrival started no reader";
            EXPECT_EQ(driver.logCount("name: "), 1u) << "not one batch";
        }
    }
}

TEST(UdevHotPlug, ListDevicesPrintsEachPortAsNameColonPath) {
    test::Testbed bed;
    ASSERT_TRUE(bed.add(test::boardDescription("ttyUSB0")));
    ASSERT_TRUE(
        bed.add("P: /devices/virtual/usb3/tty/ttyACM0\nN: ttyACM0\n"
                "E: DEVNAME=/dev/ttyACM0\nE: SUBSYSTEM=tty\n\n"
                "P: /devices/virtual/usb3\nE: SUBSYSTEM=usb\n"));
    const char* dir = std::getenv("ZORVAN_BIN_DIR");
    test::ChildProcess zorvan(
        {std::string(dir != nullptr ? dir : ".") + "/zorvan", "--list-devices"}, {});
    std::vector<std::string> lines;
    while (auto line = zorvan.readLine(5s)) {
        lines.push_back(*line);
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"SLAB_USBtoUART:/dev/cu.SLAB_USBtoUART",
                                               "ttyACM0:/dev/ttyACM0"}));
    EXPECT_EQ(zorvan.wait(5s), 0);
}

}  // namespace
}  // namespace zorvan

int main(int argc, char** argv) {
    zorvan::test::reexecUnderUmockdev(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
