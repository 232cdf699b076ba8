// Modem lines (through a stand-in device layer: a pty has none), exclusive
// access and the advisory lock, XON/XOFF, breaks, the output queue and the
// line reader.
#include <errno.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "serial/tty_device.h"
#include "tests/serial/serial_io_test_support.h"

namespace zorvan::test {
namespace {

using namespace serial;
using namespace std::chrono_literals;

// A device with modem lines: the lines and the ring counter are what the
// test sets; every call that changes something is recorded.
class FakeDevice final : public tty::DeviceControl {
  public:
    std::atomic<unsigned> lines{0};
    std::atomic<std::uint32_t> riCount{0};
    std::atomic<int> failWith{0};  // errno every call answers, 0 for none
    int queue = 0;

    std::vector<std::string> calls() {
        std::lock_guard lock(lock_);
        return calls_;
    }

    int modemLines(int, unsigned& out) override {
        out = lines.load();
        return failWith.load();
    }
    int setModemLines(int, unsigned which, bool on) override {
        note((on ? "set " : "clear ") + std::to_string(which));
        if (failWith.load() == 0) {
            lines = on ? lines | which : lines & ~which;
        }
        return failWith.load();
    }
    int lineChangeCounts(int, tty::LineChangeCounts& counts) override {
        counts.ri = riCount.load();
        return 0;
    }
    int setExclusive(int, bool on) override {
        note(on ? "exclusive" : "shared");
        return failWith.load();
    }
    int setBreak(int, bool on) override {
        note(on ? "break on" : "break off");
        return failWith.load();
    }
    int outputQueue(int, int& bytes) override {
        bytes = queue;
        return failWith.load();
    }

  private:
    void note(std::string call) {
        std::lock_guard lock(lock_);
        calls_.push_back(std::move(call));
    }
    std::mutex lock_;
    std::vector<std::string> calls_;
};

// A port on a pty whose device calls other than reads, writes and settings
// go to a FakeDevice.
struct FakeLinesPort {
    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
    std::unique_ptr<RawPort> raw;
    FakeLinesPort() {
        tty::useDeviceControl(device);
        raw = std::make_unique<RawPort>();
        tty::useDeviceControl(nullptr);
    }
};

const SerialError* underlying(const SerialError& error) {
    const auto* inner = error.find<std::shared_ptr<const SerialError>>(VXUnderlyingErrorKey);
    return inner != nullptr ? inner->get() : nullptr;
}

TEST(VXSerialPortLinesTest, ReadsAndSetsLinesThroughTheDevice) {
    FakeLinesPort fake;
    VXSerialPort& port = *fake.raw->port;
    fake.device->lines = VXModemLineCTS | VXModemLineDCD | VXModemLineDTR;
    SerialError error;
    EXPECT_EQ(port.modemLines(&error), VXModemLineCTS | VXModemLineDCD | VXModemLineDTR);
    EXPECT_EQ(error.code, VXSerialErrorNone);
    EXPECT_EQ(port.CTS(), true);
    EXPECT_EQ(port.DSR(), false);
    EXPECT_EQ(port.DCD(), true);
    EXPECT_EQ(port.RI(), false);
    EXPECT_TRUE(port.setRTS());
    EXPECT_TRUE(port.clearRTS());
    EXPECT_EQ(fake.device->calls(), (std::vector<std::string>{"set 2", "clear 2"}));

    // Failures of the device: no lines (300), any other (99).
    const struct {
        int errorNumber;
        int code;
    } failures[] = {{ENOTTY, VXSerialErrorNoModemLines},
                    {EINVAL, VXSerialErrorNoModemLines},
                    {EIO, VXSerialErrorTransferFailed}};
    for (const auto& f : failures) {
        fake.device->failWith = f.errorNumber;
        EXPECT_EQ(port.DCD(&error), std::nullopt) << f.errorNumber;
        EXPECT_EQ(error.code, f.code);
        ASSERT_NE(underlying(error), nullptr);
        EXPECT_EQ(underlying(error)->code, f.errorNumber);
        EXPECT_FALSE(port.setRTS(&error));
        EXPECT_EQ(error.code, f.code);
    }
    fake.device->failWith = 0;
    port.close();
    EXPECT_EQ(port.modemLines(&error), std::nullopt);
    EXPECT_EQ(error.code, VXSerialErrorTransferFailed);
}

TEST(VXSerialPortLinesTest, WaitSeesChangesPulsesTimeOutsAndClose) {
    FakeLinesPort fake;
    VXSerialPort& port = *fake.raw->port;
    FakeDevice& device = *fake.device;
    SerialError error;

    // A watched line changes.
    std::thread raiser([&] {
        std::this_thread::sleep_for(30ms);
        device.lines = VXModemLineDSR;
    });
    auto change = port.waitForModemLineChange(VXModemLineDSR, 5.0, &error);
    raiser.join();
    EXPECT_EQ(change, (VXModemLineChange{VXModemLineDSR, VXModemLineDSR}));

    // A ring that is over before the wait looks: seen through the counter.
    std::thread ring([&] {
        std::this_thread::sleep_for(30ms);
        device.riCount++;
    });
    change = port.waitForModemLineChange(0, 5.0, &error);
    ring.join();
    EXPECT_EQ(change, (VXModemLineChange{VXModemLineRI, VXModemLineDSR}));

    // A line not watched changes: the time passes.
    std::thread other([&] { device.lines = 0; });
    EXPECT_EQ(port.waitForModemLineChange(VXModemLineCTS, 0.1, &error), std::nullopt);
    other.join();
    EXPECT_EQ(error.code, VXSerialErrorTimedOut);

    // close() ends an endless wait.
    std::thread closer([&] {
        std::this_thread::sleep_for(50ms);
        port.close();
    });
    EXPECT_EQ(port.waitForModemLineChange(0, std::numeric_limits<double>::infinity(), &error),
              std::nullopt);
    closer.join();
    EXPECT_EQ(error.code, VXSerialErrorTransferFailed);
}

TEST(VXSerialPortLinesTest, APseudoTerminalHasNoLines) {
    RawPort raw;
    VXSerialPort& port = *raw.port;
    SerialError error;
    EXPECT_EQ(port.modemLines(&error), std::nullopt);
    EXPECT_EQ(error.code, VXSerialErrorNoModemLines);
    EXPECT_EQ(port.CTS(&error), std::nullopt);
    EXPECT_EQ(error.code, VXSerialErrorNoModemLines);
    EXPECT_FALSE(port.setRTS(&error));
    EXPECT_EQ(error.code, VXSerialErrorNoModemLines);
    EXPECT_EQ(port.waitForModemLineChange(0, 5.0, &error), std::nullopt);
    EXPECT_EQ(error.code, VXSerialErrorNoModemLines);
}

// Opens port on a thread without CAP_SYS_ADMIN (capabilities are per
// thread), which the kernel would let past exclusive use; answers the port's
// open error.
int openErrorWithoutAdmin(VXSerialPort& port) {
    int answer = -1;
    std::thread plain([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        ::syscall(SYS_capget, &header, data);
        data[CAP_SYS_ADMIN / 32].effective &= ~(1u << (CAP_SYS_ADMIN % 32));
        ::syscall(SYS_capset, &header, data);
        port.open();
        answer = port.openErrorCode();
    });
    plain.join();
    return answer;
}

TEST(VXSerialPortExclusiveTest, OpenErrorsAndExclusiveUse) {
    RawPort raw;
    auto other = std::make_shared<VXSerialPort>(raw.pty.slavePath(), "pty", "IOSerialStream");
    EXPECT_EQ(openErrorWithoutAdmin(*other), 0);
    other->close();

    EXPECT_TRUE(raw.port->setExclusiveAccess(true));
    EXPECT_EQ(openErrorWithoutAdmin(*other), EBUSY);
    EXPECT_FALSE(other->isOpen());
    // close() gives exclusive use back.
    raw.port->close();
    EXPECT_EQ(openErrorWithoutAdmin(*other), 0);
    other->close();

    const struct {
        const char* path;
        int error;
    } failures[] = {{"/dev/zorvan-no-such-port", ENOENT}, {"/dev/null", ENOTTY}};
    for (const auto& f : failures) {
        auto port = std::make_shared<VXSerialPort>(f.path, "x", "");
        EXPECT_EQ(port->open(), nullptr);
        EXPECT_EQ(port->openErrorCode(), f.error) << f.path;
    }
}

TEST(VXSerialPortExclusiveTest, ExclusiveOpenTakesAndGivesBackThroughTheDevice) {
    FakeLinesPort fake;
    VXSerialPort& port = *fake.raw->port;
    port.close();
    port.setExclusiveAccess(true);
    ASSERT_NE(port.open(), nullptr);
    port.close();
    fake.device->failWith = EPERM;
    EXPECT_EQ(port.open(), nullptr);
    EXPECT_EQ(port.openErrorCode(), EPERM);
    EXPECT_EQ(fake.device->calls(), (std::vector<std::string>{"exclusive", "shared", "exclusive"}));
}

std::string ownCommandName() {
    std::ifstream in("/proc/self/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

TEST(VXSerialPortExclusiveTest, TheAdvisoryLockIsSharedWithTheDriver) {
    RawPort first;
    auto second = std::make_shared<VXSerialPort>(first.pty.slavePath(), "pty", "IOSerialStream");
    second->open();
    EXPECT_EQ(first.port->lockHolder(), std::nullopt);
    ASSERT_TRUE(first.port->lockPort());
    EXPECT_TRUE(first.port->holdsPortLock());

    SerialError error;
    EXPECT_FALSE(second->lockPort(&error));
    EXPECT_EQ(error.code, VXSerialErrorPortLocked);
    ASSERT_NE(error.find<std::int64_t>(VXLockHolderPidKey), nullptr);
    EXPECT_EQ(*error.find<std::int64_t>(VXLockHolderPidKey), ::getpid());
    EXPECT_EQ(second->lockHolder(), (PortLockHolder{::getpid(), ownCommandName()}));
    // What the driver takes on its board meets the port's lock.
    const int board = ::open(first.pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    std::optional<PortLockHolder> holder;
    EXPECT_EQ(lockDevice(board, holder), PortLock::Held);
    ::close(board);

    first.port->close();  // gives the lock up
    EXPECT_FALSE(first.port->holdsPortLock());
    EXPECT_TRUE(second->lockPort());
    second->unlockPort();
    EXPECT_EQ(second->lockHolder(), std::nullopt);
    second->close();
    EXPECT_FALSE(second->lockPort(&error));
    EXPECT_EQ(error.code, VXSerialErrorTransferFailed);
}

TEST(VXSerialPortSettingsTest, SoftwareFlowControlReachesTheDeviceAndTheDictionary) {
    RawPort raw;
    VXSerialPort& port = *raw.port;
    for (const bool on : {true, false, true}) {
        port.setSoftwareFlowControl(on);
        ASSERT_TRUE(port.commitChanges());
        const tcflag_t flags = deviceSettings(raw.pty).c_iflag & (IXON | IXOFF);
        EXPECT_EQ(flags, on ? static_cast<tcflag_t>(IXON | IXOFF) : 0u);
        EXPECT_EQ(port.options().count(VXSerialOptionSoftwareFlowControl), on ? 1u : 0u);
    }
    VXSerialOptions options = port.options();
    options.erase(VXSerialOptionSoftwareFlowControl);
    port.setOptions(options);  // a merge: the port's own entry stays
    EXPECT_TRUE(port.softwareFlowControl());

    // One direction only, as a device may be found: kept by a round trip.
    termios t = deviceSettings(raw.pty);
    t.c_iflag = (t.c_iflag & ~static_cast<tcflag_t>(IXOFF)) | IXON;
    setDeviceSettings(raw.pty, t);
    auto again = std::make_shared<VXSerialPort>(raw.pty.slavePath(), "pty", "IOSerialStream");
    again->open();
    again->setOptions(again->options());
    EXPECT_EQ(deviceSettings(raw.pty).c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON));
}

TEST(VXSerialPortBreakTest, BreakOfALengthAndTheOutputQueue) {
    FakeLinesPort fake;
    VXSerialPort& port = *fake.raw->port;
    fake.device->queue = 17;
    EXPECT_EQ(port.bytesToSend(), 17);
    EXPECT_TRUE(port.sendBreakForDuration(20ms));
    EXPECT_TRUE(port.setBreak());
    EXPECT_TRUE(port.clearBreak());
    EXPECT_EQ(fake.device->calls(),
              (std::vector<std::string>{"break on", "break off", "break on", "break off"}));
    // close() cuts a long break short, and the line is released.
    std::thread closer([&] {
        std::this_thread::sleep_for(50ms);
        port.close();
    });
    EXPECT_FALSE(port.sendBreakForDuration(std::chrono::minutes(10)));
    closer.join();
    EXPECT_EQ(fake.device->calls().back(), "break off");
    EXPECT_EQ(port.bytesToSend(), -1);

    RawPort raw;  // a pty takes a break without effect
    EXPECT_TRUE(raw.port->sendBreakForDuration(10ms));
    EXPECT_GE(raw.port->bytesToSend(), 0);
}

std::string text(const std::optional<Bytes>& bytes) {
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
}

TEST(VXSerialPortLineReaderTest, Lines) {
    const std::string longLine = std::string(5000, 'x') + "\n";
    const struct Case {
        const char* name;
        std::vector<std::string> chunks;  // written one after the other
        std::size_t limit;
        std::vector<std::string> lines;  // read one after the other
        std::vector<int> codes;
    } cases[] = {
        {"inside a chunk", {"ab\ncd\nef"}, 100, {"ab\n", "cd\n", "ef"}, {0, 0, 100}},
        {"across chunks", {"ab", "c", "d\ne"}, 100, {"abcd\n", "e"}, {0, 100}},
        {"past 4096", {longLine.substr(0, 3000), longLine.substr(3000)}, 10000, {longLine}, {0}},
        {"none before the limit", {"abcdef\n"}, 4, {"abcd", "ef\n"}, {101, 0}},
        {"nothing", {}, 4, {"<none>"}, {100}},
    };
    for (const Case& c : cases) {
        RawPort raw(0.3);
        std::thread device([&] {
            for (const std::string& chunk : c.chunks) {
                raw.pty.write(bytesOf(chunk));
                std::this_thread::sleep_for(20ms);
            }
        });
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            SerialError error;
            EXPECT_EQ(text(raw.port->readUpToDelimiter('\n', c.limit, &error)), c.lines[i])
                << c.name << " #" << i;
            EXPECT_EQ(error.code, c.codes[i]) << c.name << " #" << i;
        }
        device.join();
    }
}

TEST(VXSerialPortLineReaderTest, KeptInputGoesToTheNextReadOfAnyKind) {
    RawPort raw(0.3);
    raw.pty.write(bytesOf("one\ntwo"));
    EXPECT_EQ(text(raw.port->readUpToDelimiter('\n', 100, nullptr)), "one\n");
    EXPECT_EQ(bytesAvailableSoon(*raw.port, 3), 3);
    EXPECT_EQ(text(raw.port->readBytes(3, nullptr)), "two");

    // close() ends a waiting line read; nothing is kept past it.
    raw.port->setReadTimeout(60);
    raw.pty.write(bytesOf("partial"));
    std::thread closer([&] {
        std::this_thread::sleep_for(100ms);
        raw.port->close();
    });
    SerialError error;
    EXPECT_EQ(raw.port->readUpToDelimiter('\n', 100, &error), std::nullopt);
    closer.join();
    EXPECT_EQ(error.code, VXSerialErrorTransferFailed);
}

struct LineCollector : VXSerialPortReadDelegate {
    std::vector<std::string> lines;
    void serialPortReadData(const VXSerialReadReport& report) override {
        lines.emplace_back(report.data.begin(), report.data.end());
        if (!report.data.empty()) {
            report.serialPort->readDataInBackground();
        }
    }
};

TEST(VXSerialPortLineReaderTest, BackgroundReadsReportWholeLines) {
    RawPort raw;
    auto loop = std::make_shared<PlainRunLoop>();
    auto collector = std::make_shared<LineCollector>();
    raw.port->setRunLoop(loop);
    raw.port->setDelegate(collector);
    raw.port->setBackgroundReadDelimiter('\n', 6);
    raw.pty.write(bytesOf("one\ntwo\nthr"));
    raw.port->readDataInBackground();
    spinUntil(*loop, [&] { return collector->lines.size() >= 2; });
    raw.pty.write(bytesOf("ee\nlonger line\n"));
    spinUntil(*loop, [&] { return collector->lines.size() >= 5; });
    EXPECT_EQ(collector->lines,
              (std::vector<std::string>{"one\n", "two\n", "three\n", "longer", " line\n"}));
    raw.port->close();
    spinUntil(*loop, [&] { return raw.port->numberOfReadInBackgroundThreads() == 0; });
}

}  // namespace
}  // namespace zorvan::test
