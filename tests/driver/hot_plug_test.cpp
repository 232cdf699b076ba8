#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "driver/app_controller.h"
#include "serial/plain_run_loop.h"
#include "serial/scripted_port_registry.h"
#include "serial/vx_serial_port_list.h"
#include "tests/driver/pty_pair.h"
#include "tests/driver/reader_test_support.h"

namespace zorvan {
namespace {

using namespace std::chrono_literals;
using serial::PortEntry;
using serial::ScriptedPortRegistry;

PortEntry entry(const std::string& name, const std::string& path) {
    return {name, path, "IOSerialStream"};
}

class TestPortList : public serial::VXSerialPortList {
  public:
    TestPortList(ScriptedPortRegistry::Batch present, serial::RunLoop& loop)
        : VXSerialPortList(std::make_unique<ScriptedPortRegistry>(std::move(present)), &loop) {}
    ScriptedPortRegistry& scripted() { return static_cast<ScriptedPortRegistry&>(registry()); }
};

// The process's list, where ports look up their properties.
ScriptedPortRegistry& sharedRegistry() {
    static ScriptedPortRegistry* registry = [] {
        auto made = std::make_unique<ScriptedPortRegistry>(ScriptedPortRegistry::Batch{
            entry("ttyUSB0", "/dev/ttyUSB0"), entry("ttyUSB1", "/dev/ttyUSB1")});
        made->setProperties("ttyUSB0", {{"DEVNAME", "/dev/ttyUSB0"},
                                        {"DEVLINKS", "/dev/serial/by-id/usb-Board /dev/wb"}});
        ScriptedPortRegistry* raw = made.get();
        serial::VXSerialPortList::configure(nullptr, std::move(made));
        serial::VXSerialPortList::sharedPortList();
        return raw;
    }();
    return *registry;
}

// A folder of the user's own links, as a technician might make beside udev's.
class LinkFolder {
  public:
    LinkFolder() {
        char pattern[] = "/tmp/zorvan-links-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~LinkFolder() { std::filesystem::remove_all(path_); }
    LinkFolder(const LinkFolder&) = delete;
    LinkFolder& operator=(const LinkFolder&) = delete;
    std::string link(const std::string& name, const std::string& target) const {
        const std::string at = path_ + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(at).parent_path());
        std::filesystem::create_symlink(target, at);
        return at;
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

TEST(HotPlug, TheBoardIsRecognisedByNameAndPathOrByTheDevicePathGiven) {
    sharedRegistry();
    LinkFolder links;
    struct Case {
        std::string devicePath;
        PortEntry port;
        bool board;
    };
    const Case cases[] = {
        {kDefaultBoardPath, entry("SLAB_USBtoUART", "/dev/cu.SLAB_USBtoUART"), true},
        {kDefaultBoardPath, entry("SLAB_USBtoUART", "/dev/ttyUSB0"), false},
        {kDefaultBoardPath, entry("ttyUSB0", "/dev/cu.SLAB_USBtoUART"), false},
        {"/dev/ttyUSB0", entry("ttyUSB0", "/dev/ttyUSB0"), true},
        {"/dev/wb", entry("ttyUSB0", "/dev/ttyUSB0"), true},
        {"/dev/serial/by-id/usb-Board", entry("ttyUSB0", "/dev/ttyUSB0"), true},
        {"/dev/wb", entry("ttyUSB1", "/dev/ttyUSB1"), false},
        {"/dev/ttyUSB0", entry("ttyUSB1", "/dev/ttyUSB1"), false},
        {"", entry("", ""), false},
        // Links the registry does not know lead to the board's node or links.
        {links.link("board", "/dev/ttyUSB0"), entry("ttyUSB0", "/dev/ttyUSB0"), true},
        {links.path() + "/board", entry("ttyUSB1", "/dev/ttyUSB1"), false},
        {links.link("chain/first", "../second"), entry("ttyUSB0", "/dev/ttyUSB0"), true},
        {links.link("second", "board"), entry("ttyUSB0", "/dev/ttyUSB0"), true},
        {links.link("elsewhere", "/dev/ttyUSB7"), entry("ttyUSB0", "/dev/ttyUSB0"), false},
        {links.link("to-udev-link", "/dev/./serial/by-id/../by-id/usb-Board"),
         entry("ttyUSB0", "/dev/ttyUSB0"), true},
        {"/dev/../dev/ttyUSB0", entry("ttyUSB0", "/dev/ttyUSB0"), true},
        {links.link("loop", "loop"), entry("ttyUSB0", "/dev/ttyUSB0"), false},
    };
    RunFlags flags;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.devicePath + " vs " + c.port.path);
        AppController controller({.runFlags = flags, .devicePath = c.devicePath});
        serial::VXSerialPort port(c.port.path, c.port.name, c.port.type);
        EXPECT_EQ(controller.isBoardPort(port), c.board);
    }
}

// A controller reading a pty that a scripted list publishes as a port.
class HotPlugTest : public ::testing::Test {
  protected:
    HotPlugTest()
        : board(entry("pts", pty.slavePath())),
          list({entry("other", "/dev/ttyOther"), board}, loop),
          controller({.runFlags = flags,
                      .devicePath = pty.slavePath(),
                      .log = [this](std::string_view line) { log.add(line); },
                      .warn = [](std::string_view) {},
                      .packetHandler = &handler,
                      .calibrationLoader = loader,
                      .closeMessages = closeMessages,
                      .abandonReader = test::failOnStuckReader,
                      .mainLoop = &loop,
                      .arrivalMessages = arrivals}) {}
    ~HotPlugTest() override {
        controller.shutdown();
        std::fclose(closeMessages);
        std::fclose(arrivals);
    }
    // Runs the main loop until condition holds; false after timeout.
    bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            loop.runFor(5ms);
        }
        return true;
    }
    bool running() {
        return pumpUntil([&] { return flags.iRun.load() > 0; }, 2s);
    }
    int addCount() {
        std::fflush(arrivals);
        std::rewind(arrivals);
        int count = 0;
        char line[64];
        while (std::fgets(line, sizeof line, arrivals) != nullptr) {
            count += std::string(line) == "Add!!\n";
        }
        std::fseek(arrivals, 0, SEEK_END);
        return count;
    }
    bool logged(const std::string& text) {
        for (const std::string& line : log.lines()) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    test::PtyPair pty;
    PortEntry board;
    serial::PlainRunLoop loop;
    TestPortList list;
    RunFlags flags;
    test::LogLines log;
    test::RecordingHandler handler;
    CalibrationLoader* loader = nullptr;
    std::FILE* closeMessages = std::tmpfile();
    std::FILE* arrivals = std::tmpfile();
    AppController controller;
};

TEST_F(HotPlugTest, UnplugStopsTheReaderAndReplugStartsANewOne) {
    controller.subscribeToPortList(list);
    controller.startReaderThread();
    ASSERT_TRUE(running());
    const int firstFd = flags.iRun.load();

    // Other devices are logged and change nothing.
    list.scripted().announceRemoved({entry("other", "/dev/ttyOther")});
    list.scripted().announceAdded({entry("other", "/dev/ttyOther")});
    loop.runFor(150ms);
    EXPECT_EQ(flags.iRun.load(), firstFd);
    EXPECT_EQ(addCount(), 0);
    EXPECT_TRUE(logged("name: other, path: /dev/ttyOther"));

    list.scripted().announceRemoved({board});
    EXPECT_TRUE(logged("didRemovePorts:"));
    EXPECT_EQ(flags.iRun.load(), -1);

    // Unplugged while paused by the calibration tool: the new reader reads.
    flags.bRun.store(false);
    list.scripted().announceAdded({board});
    EXPECT_EQ(addCount(), 1);
    ASSERT_TRUE(running());
    EXPECT_TRUE(flags.bRun.load());
    const Packet packet{0xEE, 0x00, 0x51, 0x01, 0x24, 0x03, 0x08, 0x00};
    ASSERT_EQ(::write(pty.master(), packet.data(), packet.size()), 8);
    EXPECT_EQ(handler.waitFor(1, 2s).size(), 1u) << "the new reader decodes";

    // An arrival while a reader runs starts no second one.
    const int secondFd = flags.iRun.load();
    list.scripted().announceAdded({board});
    loop.runFor(200ms);
    EXPECT_EQ(addCount(), 2);
    EXPECT_EQ(flags.iRun.load(), secondFd);
}

TEST_F(HotPlugTest, UnplugEndsTheReaderAtOnceRunningOrPaused) {
    // The board is closed (its settings put back) as soon as the reader ends.
    const int probe = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios before{};
    ASSERT_EQ(::tcgetattr(probe, &before), 0);
    const auto closed = [&] {
        termios now{};
        return ::tcgetattr(probe, &now) == 0 && now.c_lflag == before.c_lflag;
    };
    controller.subscribeToPortList(list);
    for (const bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "running");
        flags.bRun = true;
        if (paused) {
            list.scripted().announceAdded({board});
        } else {
            controller.startReaderThread();
        }
        ASSERT_TRUE(running());
        ASSERT_TRUE(pumpUntil([&] { return !closed(); }, 1s));
        // Well into a silence, so that its end cannot stand in for the wake.
        std::this_thread::sleep_for(300ms);
        flags.bRun = !paused;
        controller.wakeReader();
        std::this_thread::sleep_for(50ms);

        list.scripted().announceRemoved({board});
        EXPECT_TRUE(pumpUntil(closed, 500ms)) << "the reader slept on after the removal";
    }
    ::close(probe);
}

TEST_F(HotPlugTest, TheBoardAbsentAtStartIsReadOnceItArrives) {
    // The board's path appears only when it is plugged in.
    char dir[] = "/tmp/zorvan-hot-plug-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/board";
    AppController late({.runFlags = flags,
                        .devicePath = path,
                        .log = [this](std::string_view line) { log.add(line); },
                        .warn = [](std::string_view) {},
                        .packetHandler = &handler,
                        .closeMessages = closeMessages,
                        .mainLoop = &loop,
                        .arrivalMessages = arrivals});
    late.subscribeToPortList(list);
    late.startReaderThread();
    ASSERT_TRUE(pumpUntil([&] { return flags.iRun.load() < 0; }, 2s));

    ASSERT_EQ(::symlink(pty.slavePath().c_str(), path.c_str()), 0);
    list.scripted().announceAdded({entry("board", path)});
    EXPECT_TRUE(running());
    late.shutdown();
    ::unlink(path.c_str());
    ::rmdir(dir);
}

// Blocks the reader's first calibration load until released, as the
// calibration alert does while it waits for the main thread.
class HeldLoader final : public CalibrationLoader {
  public:
    bool load() override {
        if (!held_.exchange(true)) {
            entered.set_value();
            released.get_future().wait();
        }
        return true;
    }
    std::promise<void> entered;
    std::promise<void> released;

  private:
    std::atomic<bool> held_{false};
};

TEST_F(HotPlugTest, ReplugWhileTheReaderIsHeldNeverBlocksTheMainLoop) {
    HeldLoader held;
    AppController heldController({.runFlags = flags,
                                  .devicePath = pty.slavePath(),
                                  .log = [this](std::string_view line) { log.add(line); },
                                  .warn = [](std::string_view) {},
                                  .packetHandler = &handler,
                                  .calibrationLoader = &held,
                                  .closeMessages = closeMessages,
                                  .mainLoop = &loop,
                                  .arrivalMessages = arrivals});
    heldController.subscribeToPortList(list);

    heldController.startReaderThread();
    ASSERT_TRUE(running());
    const Packet packet{0xEE, 0x00, 0x51, 0x01, 0x24, 0x03, 0x08, 0x00};
    ASSERT_EQ(::write(pty.master(), packet.data(), packet.size()), 8);
    ASSERT_EQ(held.entered.get_future().wait_for(2s), std::future_status::ready);

    list.scripted().announceRemoved({board});
    list.scripted().announceAdded({board});
    // The loop keeps turning: a task posted now runs within the pause.
    bool turned = false;
    loop.postAfter(150ms, [&] { turned = true; });
    EXPECT_TRUE(pumpUntil([&] { return turned; }, 1s)) << "the main loop was blocked";
    EXPECT_EQ(flags.iRun.load(), -1) << "no second reader while the first is held";

    held.released.set_value();
    EXPECT_TRUE(running()) << "the new reader starts once the held one has ended";
    heldController.shutdown();
}

TEST_F(HotPlugTest, ListDevicesLogsEachPortInListOrder) {
    controller.listDevices(list);
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "other:/dev/ttyOther");
    EXPECT_EQ(lines[1], "pts:" + pty.slavePath());
}

}  // namespace
}  // namespace zorvan
