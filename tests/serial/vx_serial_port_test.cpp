#include "serial/vx_serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

#include "tests/serial/serial_test_support.h"

namespace zorvan::serial {
namespace {

using test::PtyPair;

std::string addressOf(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%jx",
                  static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(p)));
    return text;
}

TEST(VXSerialPortTest, DescriptionWhileClosedAndOpen) {
    PtyPair pty;
    VXSerialPort port(pty.slavePath(), "SLAB_USBtoUART", "IOSerialStream");
    const std::string head = "<VXSerialPort: " + addressOf(&port) +
                             " = name: SLAB_USBtoUART, path: " + pty.slavePath() +
                             ", type: IOSerialStream, fileHandle: ";
    EXPECT_EQ(port.description(), head + "(null), fileDescriptor: -1>");

    ASSERT_NE(port.open(), nullptr);
    const std::string fd = std::to_string(port.fileDescriptor());
    EXPECT_EQ(port.description(),
              head + "<FileHandle: fd " + fd + ">, fileDescriptor: " + fd + ">");
    port.close();
    EXPECT_EQ(port.description(), head + "(null), fileDescriptor: -1>");
}

TEST(VXSerialPortTest, EqualityAndHashFollowThePathAlone) {
    const struct {
        const char* path;
        const char* name;
        const char* type;
        bool equal;
    } cases[] = {
        {"/dev/cu.A", "A", "IOSerialStream", true},
        {"/dev/cu.A", "other name", "", true},
        {"/dev/cu.B", "A", "IOSerialStream", false},
        {"/dev/cu.a", "A", "IOSerialStream", false},
    };
    const VXSerialPort port("/dev/cu.A", "A", "IOSerialStream");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.name);
        const VXSerialPort other(c.path, c.name, c.type);
        EXPECT_EQ(port.isEqual(other), c.equal);
        EXPECT_EQ(port == other, c.equal);
        if (c.equal) {
            EXPECT_EQ(port.hash(), other.hash());
            EXPECT_EQ(std::hash<VXSerialPort>{}(port), std::hash<VXSerialPort>{}(other));
        }
    }
    // Other kinds of object, even one that holds the very path.
    EXPECT_FALSE(port.isEqual(std::string("/dev/cu.A")));
    EXPECT_FALSE(port.isEqual(42));
    EXPECT_FALSE(port.isEqual(PtyPair{}));
}

class ReadOnly : public VXSerialPortReadDelegate {
  public:
    void serialPortReadData(const VXSerialReadReport&) override {}
};
class WriteOnly : public VXSerialPortWriteDelegate {
  public:
    void serialPortWriteProgress(const VXSerialWriteProgress&) override {}
};
class Both : public VXSerialPortReadDelegate, public VXSerialPortWriteDelegate {
  public:
    void serialPortReadData(const VXSerialReadReport&) override {}
    void serialPortWriteProgress(const VXSerialWriteProgress&) override {}
};

TEST(VXSerialPortTest, DelegateFlagsFollowTheInterfacesItImplements) {
    const struct {
        const char* what;
        std::shared_ptr<VXSerialPortDelegate> delegate;
        bool read;
        bool write;
    } cases[] = {
        {"both", std::make_shared<Both>(), true, true},
        {"neither", std::make_shared<VXSerialPortDelegate>(), false, false},
        {"read", std::make_shared<ReadOnly>(), true, false},
        {"write", std::make_shared<WriteOnly>(), false, true},
        {"none", nullptr, false, false},
    };
    VXSerialPort port("/dev/cu.A", "A", "IOSerialStream");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        port.setDelegate(c.delegate);
        EXPECT_EQ(port.delegate(), c.delegate);
        EXPECT_EQ(port.delegateHandlesReadInBackground(), c.read);
        EXPECT_EQ(port.delegateHandlesWriteInBackground(), c.write);
    }
    // The port does not hold its delegate; setting it again changes nothing.
    auto delegate = std::make_shared<ReadOnly>();
    port.setDelegate(delegate);
    port.setDelegate(delegate);
    EXPECT_EQ(delegate.use_count(), 1);
    EXPECT_TRUE(port.delegateHandlesReadInBackground());
    // A delegate that is gone is no delegate.
    delegate.reset();
    EXPECT_EQ(port.delegate(), nullptr);
}

TEST(VXSerialPortTest, OwnershipClaimAndFreeClosing) {
    PtyPair pty;
    VXSerialPort port(pty.slavePath(), "pty", "");
    int first = 0;
    int second = 0;
    EXPECT_TRUE(port.available());
    EXPECT_EQ(port.obtainBy(&first), &port);
    EXPECT_EQ(port.obtainBy(&second), nullptr);
    EXPECT_EQ(port.owner(), &first);
    EXPECT_FALSE(port.available());

    ASSERT_NE(port.open(), nullptr);  // the claim is advisory
    port.free();
    EXPECT_TRUE(port.available());
    EXPECT_EQ(port.owner(), nullptr);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.obtainBy(&second), &port);
}

TEST(VXSerialPortTest, FailedOpenLeavesThePortClosedAndLeaksNothing) {
    for (const char* path : {"/nonexistent/tty", "/dev/null"}) {
        SCOPED_TRACE(path);
        const int before = test::openDescriptorCount();
        VXSerialPort port(path, "x", "");
        EXPECT_EQ(port.open(), nullptr);
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(port.fileHandle(), nullptr);
        EXPECT_EQ(test::openDescriptorCount(), before);
    }
}

// The device's settings before open, with something of everything changed
// from a fresh pty so that a restore can't pass by chance.
termios distinctiveSettings(const PtyPair& pty) {
    termios t = test::deviceSettings(pty);
    ::cfsetspeed(&t, B57600);
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
    t.c_lflag |= ECHO;
    t.c_cc[VEOL] = '#';
    return t;
}

TEST(VXSerialPortTest, CloseAndDestructionPutTheSettingsFoundAtOpenBack) {
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed while open" : "closed");
        PtyPair pty;
        test::setDeviceSettings(pty, distinctiveSettings(pty));
        const termios before = test::deviceSettings(pty);
        const int descriptors = test::openDescriptorCount();

        auto port = std::make_unique<VXSerialPort>(pty.slavePath(), "pty", "");
        const auto handle = port->open();
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(port->speed(), 57600);  // open reads the device, applies nothing
        EXPECT_TRUE(test::sameSettings(test::deviceSettings(pty), before));

        port->setSpeed(250000);
        port->setDataBits(8);
        port->setParity(0);
        port->setStopBits(1);
        port->setEchoEnabled(false);
        port->setEndOfLineCharacter('\n');
        ASSERT_TRUE(port->commitChanges());
        EXPECT_FALSE(test::sameSettings(test::deviceSettings(pty), before));

        if (destroy) {
            port.reset();
        } else {
            port->close();
            port->close();  // a second close does nothing
            EXPECT_FALSE(port->isOpen());
        }
        EXPECT_TRUE(test::sameSettings(test::deviceSettings(pty), before));
        EXPECT_EQ(handle->fileDescriptor(), -1);
        EXPECT_EQ(test::openDescriptorCount(), descriptors);
    }
}

TEST(VXSerialPortTest, OpenOnAnOpenPortAnswersTheHandleItHas) {
    PtyPair pty;
    VXSerialPort port(pty.slavePath(), "pty", "");
    const auto first = port.open();
    ASSERT_NE(first, nullptr);
    const int descriptors = test::openDescriptorCount();
    EXPECT_EQ(port.open(), first);
    EXPECT_EQ(port.fileDescriptor(), first->fileDescriptor());
    EXPECT_EQ(test::openDescriptorCount(), descriptors);
}

TEST(VXSerialPortTest, DescriptorIsNotInheritedAndNeverTheControllingTerminal) {
    PtyPair pty;
    VXSerialPort port(pty.slavePath(), "pty", "");
    ASSERT_NE(port.open(), nullptr);
    EXPECT_NE(::fcntl(port.fileDescriptor(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(::fcntl(port.fileDescriptor(), F_GETFL) & O_NONBLOCK, 0);  // reads block
    port.close();

    // A session leader without a terminal would otherwise acquire the port.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setsid();
        VXSerialPort inChild(pty.slavePath(), "pty", "");
        const bool opened = inChild.open() != nullptr;
        const bool controlling = ::open("/dev/tty", O_RDWR | O_NOCTTY) >= 0;
        ::_exit(opened && !controlling ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(VXSerialPortTest, LineControl) {
    PtyPair pty;
    VXSerialPort port(pty.slavePath(), "pty", "");
    const struct {
        bool input;
        bool output;
        bool answer;
    } flushes[] = {
        {false, false, false}, {true, false, true}, {false, true, true}, {true, true, true}};

    for (const auto& f : flushes) {  // closed: every call fails
        EXPECT_FALSE(port.flushInputOutput(f.input, f.output));
    }
    EXPECT_FALSE(port.drainInput());
    EXPECT_FALSE(port.sendBreak());
    EXPECT_FALSE(port.setDTR());

    ASSERT_NE(port.open(), nullptr);
    for (const auto& f : flushes) {
        SCOPED_TRACE(std::to_string(f.input) + std::to_string(f.output));
        pty.write({'a', 'b', 'c', '\n'});
        ::usleep(20000);
        int waiting = -1;
        ::ioctl(port.fileDescriptor(), FIONREAD, &waiting);
        EXPECT_GT(waiting, 0);
        EXPECT_EQ(port.flushInputOutput(f.input, f.output), f.answer);
        ::ioctl(port.fileDescriptor(), FIONREAD, &waiting);
        EXPECT_EQ(waiting == 0, f.input) << "input discarded exactly when asked";
        port.flushInputOutput(true, true);
    }
    EXPECT_TRUE(port.drainInput());
}

// A client closing the port's handle closes the port; the number it frees
// goes to the next file the process opens, which no call of the port may
// then reach.
TEST(VXSerialPortTest, AClosedHandleClosesThePortAndItsNumberIsNeverReached) {
    const struct {
        const char* name;
        std::function<bool(VXSerialPort&)> call;
    } calls[] = {
        {"commitChanges",
         [](VXSerialPort& port) { return port.setSpeed(115200) && port.commitChanges(); }},
        {"flushInputOutput", [](VXSerialPort& port) { return port.flushInputOutput(true, true); }},
        {"drainInput", [](VXSerialPort& port) { return port.drainInput(); }},
        {"setDTR", [](VXSerialPort& port) { return port.setDTR(); }},
    };
    for (const auto& c : calls) {
        SCOPED_TRACE(c.name);
        PtyPair pty;
        test::setDeviceSettings(pty, distinctiveSettings(pty));
        const termios found = test::deviceSettings(pty);
        auto port = std::make_shared<VXSerialPort>(pty.slavePath(), "pty", "");
        const auto handle = port->open();
        ASSERT_NE(handle, nullptr);
        port->setSpeed(250000);
        ASSERT_TRUE(port->commitChanges());
        const int number = handle->fileDescriptor();
        PtyPair other;

        handle->closeFile();
        EXPECT_FALSE(port->isOpen());
        EXPECT_EQ(port->fileDescriptor(), -1);
        EXPECT_EQ(port->fileHandle(), nullptr);
        EXPECT_TRUE(test::sameSettings(test::deviceSettings(pty), found)) << "settings put back";

        // Another terminal gets the number, with input waiting in it.
        const int reused = ::open(other.slavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(reused, number) << "the freed number goes to the next open";
        termios raw = test::deviceSettings(other);
        ::cfmakeraw(&raw);
        test::setDeviceSettings(other, raw);
        const termios untouched = test::deviceSettings(other);
        other.write({'k', 'e', 'e', 'p'});
        ::usleep(20000);

        EXPECT_FALSE(c.call(*port));
        EXPECT_TRUE(test::sameSettings(test::deviceSettings(other), untouched));
        int waiting = -1;
        ::ioctl(reused, FIONREAD, &waiting);
        EXPECT_EQ(waiting, 4) << "the other terminal's input stays";
        ::close(reused);
    }
}

}  // namespace
}  // namespace zorvan::serial
