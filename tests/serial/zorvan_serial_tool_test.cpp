#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>

#include <optional>
#include <regex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "tests/driver/subprocess.h"
#include "tests/serial/serial_test_support.h"

namespace zorvan::test {
namespace {

using namespace std::chrono_literals;

struct RawPty : PtyPair {
    RawPty() {
        termios t = deviceSettings(*this);
        ::cfmakeraw(&t);
        setDeviceSettings(*this, t);
        // The tool must not hold the master too, or closing it here hangs up nothing.
        ::fcntl(master(), F_SETFD, FD_CLOEXEC);
    }
};

int exitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// zorvan-serial with stdin and stdout each a pipe to the test, closed or
// /dev/full; stderr is always a pipe.
// Starts zorvan-serial with args and the descriptors actions sets up; its
// pid, or -1.
pid_t spawnTool(std::vector<std::string> args, const posix_spawn_file_actions_t& actions) {
    args.insert(args.begin(), Subprocess::binary("zorvan-serial"));
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    return ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

class Tool {
  public:
    enum class Stream { Pipe, Closed, Full };

    Tool(std::vector<std::string> args, Stream in, Stream out) {
        int inPipe[2], outPipe[2], errPipe[2];
        if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0 ||
            ::pipe2(errPipe, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const auto choose = [&actions](Stream stream, int fd, int pipeEnd) {
            if (stream == Stream::Pipe) {
                posix_spawn_file_actions_adddup2(&actions, pipeEnd, fd);
            } else if (stream == Stream::Closed) {
                posix_spawn_file_actions_addclose(&actions, fd);
            } else {
                posix_spawn_file_actions_addopen(&actions, fd, "/dev/full", O_WRONLY, 0);
            }
        };
        choose(in, 0, inPipe[0]);
        choose(out, 1, outPipe[1]);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
        pid_ = spawnTool(std::move(args), actions);
        posix_spawn_file_actions_destroy(&actions);
        ::close(inPipe[0]);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        in_ = inPipe[1];
        out_ = outPipe[0];
        err_ = errPipe[0];
        ::fcntl(in_, F_SETFL, O_NONBLOCK);
    }
    ~Tool() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (const int fd : {in_, out_, err_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    // Writes what stdin's pipe takes now, without waiting; answers the count.
    std::size_t offer(std::span<const std::uint8_t> bytes) const {
        const ssize_t n = ::write(in_, bytes.data(), bytes.size());
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    void closeStdin() {
        ::close(in_);
        in_ = -1;
    }
    void signal(int number) const { ::kill(pid_, number); }
    bool running() {
        if (!status_) {
            int status = 0;
            rusage usage{};
            if (::wait4(pid_, &status, WNOHANG, &usage) == pid_) {
                status_ = status;
                cpu_ = std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
            }
        }
        return !status_;
    }
    // The exit code once it ended within limit; nullopt (and killed) if not.
    std::optional<int> wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (running() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(10ms);
        }
        if (status_) {
            return exitCode(*status_);
        }
        ::kill(pid_, SIGKILL);
        while (running()) {
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }
    // Processor time it used, once ended.
    std::chrono::microseconds cpu() const { return cpu_; }
    // All it wrote to stderr (or stdout), once ended.
    std::string err() const { return drain(err_); }
    std::string out() const { return drain(out_); }

  private:
    static std::string drain(int fd) {
        std::string text;
        char chunk[4096];
        ssize_t n = 0;
        while ((n = ::read(fd, chunk, sizeof chunk)) > 0) {
            text.append(chunk, static_cast<std::size_t>(n));
        }
        return text;
    }

    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::optional<int> status_;
    std::chrono::microseconds cpu_{0};
};

// Whatever the device has been sent, up to a pause of `quiet`.
std::vector<std::uint8_t> drainDevice(const PtyPair& pty, std::chrono::milliseconds quiet) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    for (;;) {
        pollfd entry{pty.master(), POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(quiet.count())) <= 0) {
            return bytes;
        }
        const ssize_t n = ::read(pty.master(), chunk, sizeof chunk);
        if (n <= 0) {
            return bytes;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

TEST(ZorvanSerialToolTest, Read) {
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::vector<std::uint8_t> input;
        std::optional<std::string> out;
        std::string err;
        int exit;
    } cases[] = {
        {"count",
         {"--bytes", "4"},
         {'a', 'b', 'c', '\n', 'd'},
         "abc",
         "code=0 bytesRead=4 endCode=2",
         0},
        {"stop character",
         {"--until", "\\n"},
         {'h', 'i', '\n'},
         "hi",
         "code=0 bytesRead=3 endCode=1",
         0},
        {"Mac OS Roman text",
         {"--until", "0x0A", "--encoding", "30"},
         {0x8E, '\n'},
         "\u00e9",
         "code=0 bytesRead=2 endCode=1",
         0},
        {"hex",
         {"--bytes", "3", "--hex"},
         {'A', 0x00, '\n'},
         "00000000  41 00 0a " + std::string(40, ' ') + "A..",
         "code=0 bytesRead=3 endCode=2",
         0},
        {"silence", {"--timeout", "0.2"}, {}, std::nullopt, "code=100 bytesRead=0", 1},
        {"no bytes",
         {"--bytes", "0"},
         {},
         std::nullopt,
         "zorvan-serial read: --bytes takes a count of 1 or more, not \"0\" (see zorvan-serial "
         "--help)",
         2},
        {"speed beyond any rate",
         {"--speed", "4294967296"},
         {},
         std::nullopt,
         "zorvan-serial read: --speed takes a bit rate from 1 to 4294967295, not \"4294967296\" "
         "(see zorvan-serial --help)",
         2},
        {"bad option",
         {"--parity", "maybe"},
         {},
         std::nullopt,
         "zorvan-serial read: --parity takes none, odd or even, not \"maybe\" (see zorvan-serial "
         "--help)",
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawPty pty;
        pty.write(c.input);
        std::vector<std::string> argv = {Subprocess::binary("zorvan-serial"), "read",
                                         pty.slavePath()};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        Subprocess tool(argv);
        ASSERT_TRUE(tool.started());
        EXPECT_EQ(exitCode(tool.wait()), c.exit);
        EXPECT_EQ(tool.readLine(2s, true), c.err);
        EXPECT_EQ(tool.readLine(2s), c.out);
    }
}

TEST(ZorvanSerialToolTest, EveryCommandTellsItsVersion) {
    for (const std::vector<std::string>& words : {std::vector<std::string>{"--version"},
                                                  {"list", "--version"},
                                                  {"term", "--version"},
                                                  {"read", "--version"}}) {
        SCOPED_TRACE(words.front());
        std::vector<std::string> argv = {Subprocess::binary("zorvan-serial")};
        argv.insert(argv.end(), words.begin(), words.end());
        Subprocess tool(argv);
        ASSERT_TRUE(tool.started());
        EXPECT_EQ(exitCode(tool.wait()), 0);
        const auto line = tool.readLine(2s);
        EXPECT_TRUE(line &&
                    std::regex_match(*line, std::regex("zorvan-serial [0-9]+\\.[0-9]+\\.[0-9]+")))
            << line.value_or("(nothing)");
    }
}

TEST(ZorvanSerialToolTest, TermCarriesBothWaysAndPutsTheSettingsBack) {
    RawPty pty;
    const termios before = deviceSettings(pty);
    Subprocess tool(
        {Subprocess::binary("zorvan-serial"), "term", pty.slavePath(), "--speed", "57600"});
    ASSERT_TRUE(tool.started());
    pty.write({'f', 'r', 'o', 'm', ' ', 'b', 'o', 'a', 'r', 'd', '\n'});
    EXPECT_EQ(tool.readLine(5s), "from board");
    tool.writeStdin("typed");
    const auto typed = pty.read(5, 5s);
    EXPECT_EQ(std::string(typed.begin(), typed.end()), "typed");
    const termios during = deviceSettings(pty);
    EXPECT_EQ(::cfgetospeed(&during), B57600);
    tool.writeStdin("!\x1dnot sent");  // Ctrl-] quits
    EXPECT_EQ(exitCode(tool.wait()), 0);
    EXPECT_EQ(pty.read(1, 200ms), std::vector<std::uint8_t>{'!'});
    EXPECT_TRUE(pty.read(1, 200ms).empty());
    EXPECT_TRUE(sameSettings(deviceSettings(pty), before));
}

TEST(ZorvanSerialToolTest, TermEndsWithStdinOrTheDevice) {
    {
        RawPty pty;
        Subprocess tool({Subprocess::binary("zorvan-serial"), "term", pty.slavePath()});
        tool.writeStdin("last words");
        tool.closeStdin();
        EXPECT_EQ(exitCode(tool.wait()), 0);
        const auto got = pty.read(10, 2s);
        EXPECT_EQ(std::string(got.begin(), got.end()), "last words");
    }
    {
        RawPty pty;
        Subprocess tool({Subprocess::binary("zorvan-serial"), "term", pty.slavePath()});
        pty.write({'x', '\n'});
        EXPECT_EQ(tool.readLine(5s), "x");
        pty.closeMaster();
        EXPECT_EQ(exitCode(tool.wait()), 1);
    }
}

TEST(ZorvanSerialToolTest, TermWritesPipedInputAsFastAsTheDeviceTakesIt) {
    ::signal(SIGPIPE, SIG_IGN);  // offers to a tool that has ended
    enum class Device { ReadsSlowly, ReadsNothing, HangsUp };
    const struct {
        const char* name;
        std::size_t size;
        Device device;
        int exit;
        const char* err;  // stderr: not delivered, then taken from stdin
    } cases[] = {
        {"a slow device gets every byte", 160 * 1024, Device::ReadsSlowly, 0, ""},
        {"a device that takes nothing, until SIGINT", 1 << 20, Device::ReadsNothing, 1,
         "zorvan-serial: \\S+: interrupted: (\\d+) of (\\d+) bytes from stdin were not "
         "delivered, and the rest of stdin was not read\n"},
        {"a device that goes away", 1 << 20, Device::HangsUp, 1,
         "\nzorvan-serial: \\S+: (?:the device stopped answering|cannot write to the device: "
         ".*)\nzorvan-serial: \\S+: (\\d+) of (\\d+) bytes from stdin were not delivered, and "
         "the rest of stdin was not read\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawPty pty;
        std::vector<std::uint8_t> input(c.size);
        for (std::size_t i = 0; i < input.size(); ++i) {
            input[i] = static_cast<std::uint8_t>(' ' + i * 7 % 95);  // never the quit key
        }
        Tool tool({"term", pty.slavePath()}, Tool::Stream::Pipe, Tool::Stream::Pipe);
        std::size_t offered = 0;
        std::vector<std::uint8_t> got;
        const auto start = std::chrono::steady_clock::now();
        bool stdinOpen = true;
        while (tool.running() && std::chrono::steady_clock::now() - start < 20s) {
            offered += tool.offer(std::span(input).subspan(offered));
            if (offered == input.size() && stdinOpen) {
                tool.closeStdin();
                stdinOpen = false;
            }
            if (c.device == Device::ReadsNothing && std::chrono::steady_clock::now() - start > 1s) {
                tool.signal(SIGINT);
                break;
            }
            if (c.device == Device::HangsUp && got.size() >= 8192) {
                pty.closeMaster();
                break;
            }
            if (c.device != Device::ReadsNothing) {
                std::uint8_t chunk[1024];  // 50 KiB/s
                const ssize_t n = ::read(pty.master(), chunk, sizeof chunk);
                got.insert(got.end(), chunk, chunk + std::max<ssize_t>(n, 0));
            }
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_EQ(tool.wait(2s), c.exit);
        EXPECT_LT(tool.cpu(), 500ms) << "waits for the device without spinning";
        if (c.device != Device::HangsUp) {
            const auto rest = drainDevice(pty, 200ms);
            got.insert(got.end(), rest.begin(), rest.end());
        }
        const std::string err = tool.err();
        std::smatch said;
        EXPECT_TRUE(std::regex_match(err, said, std::regex(c.err))) << err;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), input.begin()));
        if (c.device == Device::ReadsSlowly) {
            EXPECT_EQ(got.size(), input.size());
            continue;
        }
        // stdin is read no further than the device takes it.
        EXPECT_LT(offered, 256u * 1024);
        if (c.device == Device::ReadsNothing && said.size() == 3) {
            // Exactly what the device got counts as delivered.
            EXPECT_EQ(std::stoull(said[2]) - std::stoull(said[1]), got.size());
        }
    }
}

// zorvan-serial with a terminal for stdin, stdout and stderr, as when typed
// at: the test types on the terminal's master and reads what it shows.
class OnAKeyboard {
  public:
    explicit OnAKeyboard(std::vector<std::string> args) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd = 0; fd <= 2; ++fd) {
            posix_spawn_file_actions_addopen(&actions, fd, keyboard_.slavePath().c_str(),
                                             O_RDWR | O_NOCTTY, 0);
        }
        pid_ = spawnTool(std::move(args), actions);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~OnAKeyboard() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    OnAKeyboard(const OnAKeyboard&) = delete;
    OnAKeyboard& operator=(const OnAKeyboard&) = delete;

    void type(const std::string& keys) const {
        keyboard_.write(std::vector<std::uint8_t>(keys.begin(), keys.end()));
    }
    // Waits until the screen shows text after what an earlier wait found.
    bool shows(const std::string& text, std::chrono::milliseconds limit = 5s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto found = screen_.find(text, seen_);
            if (found != std::string::npos) {
                seen_ = found + text.size();
                return true;
            }
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            const auto more = keyboard_.read(1, 50ms);
            screen_.append(more.begin(), more.end());
        }
    }
    const std::string& screen() const { return screen_; }
    std::optional<int> wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            keyboard_.read(4096, 10ms);  // never let a full screen hold it up
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return exitCode(status);
            }
        }
        return std::nullopt;
    }

  private:
    PtyPair keyboard_;
    pid_t pid_ = -1;
    std::string screen_;
    std::size_t seen_ = 0;
};

TEST(ZorvanSerialToolTest, TermOnAKeyboardShowsHexAndHasAMenu) {
    char file[] = "/tmp/zorvan-serial-send-XXXXXX";
    const int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "file\n", 5), 5);
    ::close(fd);
    const std::string text = "Hi\r\n";
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::string fromDevice;
        std::string keys;
        std::vector<std::string> shown;  // in this order
        std::optional<speed_t> speed;    // the device's while the terminal runs
        std::string toDevice;
    } cases[] = {
        {"hex both ways",
         {"--hex"},
         text,
         "ab",
         {"RX 48 69 0d 0a " + std::string(37, ' ') + "Hi..", "TX 61 62 "},
         std::nullopt,
         "ab"},
        {"the speed, edited",
         {},
         "",
         "\x14"
         "b97\x7f"
         "600\r",
         {"--- 9600 bit/s ---"},
         B9600,
         ""},
        {"no speed",
         {},
         "",
         "\x14"
         "b12x\r",
         {"\"12x\" is no bit rate"},
         std::nullopt,
         ""},
        {"Ctrl-T twice sends it", {}, "", "\x14\x14", {}, std::nullopt, "\x14"},
        {"a break, and a key the menu has not",
         {},
         "",
         "\x14k\x14x",
         {"--- break sent ---", "no such menu key"},
         std::nullopt,
         ""},
        {"RTS and the lines, which a pty has not",
         {},
         "",
         "\x14r\x14l",
         {"--- RTS can't be changed: this device has no modem lines ---",
          "--- this device has no modem lines ---"},
         std::nullopt,
         ""},
        {"a file, before keys typed after it",
         {},
         "",
         "\x14"
         "f" +
             std::string(file) + "\rz",
         {"--- file sent: 5 bytes ---"},
         std::nullopt,
         "file\nz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawPty pty;
        std::vector<std::string> args = {"term", pty.slavePath()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        OnAKeyboard tool(args);
        ASSERT_TRUE(tool.shows("Ctrl-T h shows the menu ---")) << tool.screen();
        pty.write(std::vector<std::uint8_t>(c.fromDevice.begin(), c.fromDevice.end()));
        std::size_t next = 0;
        if (!c.fromDevice.empty()) {  // what the device said shows before any key
            EXPECT_TRUE(tool.shows(c.shown[next++])) << tool.screen();
        }
        tool.type(c.keys);
        for (; next < c.shown.size(); ++next) {
            EXPECT_TRUE(tool.shows(c.shown[next])) << tool.screen();
        }
        if (c.speed) {
            const termios during = deviceSettings(pty);
            EXPECT_EQ(::cfgetospeed(&during), *c.speed);
        }
        tool.type("\x1d");
        EXPECT_EQ(tool.wait(5s), 0);
        const auto got = drainDevice(pty, 200ms);
        EXPECT_EQ(std::string(got.begin(), got.end()), c.toDevice);
    }
    ::unlink(file);
}

TEST(ZorvanSerialToolTest, LinesOnADeviceWithoutThem) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, std::vector<std::string>{"--watch"}}) {
        SCOPED_TRACE(options.empty() ? "once" : "--watch");
        RawPty pty;
        std::vector<std::string> args = {"lines", pty.slavePath()};
        args.insert(args.end(), options.begin(), options.end());
        Tool tool(args, Tool::Stream::Pipe, Tool::Stream::Pipe);
        EXPECT_EQ(tool.wait(5s), 1);
        EXPECT_EQ(tool.out(), "");
        EXPECT_EQ(tool.err(),
                  "zorvan-serial: " + pty.slavePath() + ": this device has no modem lines\n");
    }
}

TEST(ZorvanSerialToolTest, AnotherProgramsLockRefusesThePortUnlessIgnored) {
    const std::string inUse = "zorvan-serial: \\S+ is in use: \\S+ \\(pid " +
                              std::to_string(::getpid()) +
                              "\\) holds its lock \\(--ignore-lock uses it all the same\\)\n";
    const struct {
        const char* name;
        std::vector<std::string> options;  // the subcommand first
        int exit;
        std::string err;  // a pattern
    } cases[] = {
        {"read", {"read", "--timeout", "0.1"}, 1, inUse},
        {"term", {"term"}, 1, inUse},
        {"read, ignoring the lock",
         {"read", "--timeout", "0.1", "--ignore-lock"},
         1,
         "code=100 bytesRead=0\n"},
        {"term, ignoring the lock", {"term", "--ignore-lock"}, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawPty pty;
        const termios before = deviceSettings(pty);
        const int holder = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
        std::vector<std::string> args = c.options;
        args.insert(args.begin() + 1, pty.slavePath());
        Tool tool(args, Tool::Stream::Pipe, Tool::Stream::Pipe);
        tool.closeStdin();
        EXPECT_EQ(tool.wait(5s), c.exit);
        const std::string err = tool.err();
        EXPECT_TRUE(std::regex_match(err, std::regex(c.err))) << err;
        if (c.exit == 1 && !c.options.back().starts_with("--ignore")) {
            EXPECT_TRUE(sameSettings(deviceSettings(pty), before));
        }
        ::close(holder);
    }
}

TEST(ZorvanSerialToolTest, TermExclusiveKeepsThePortForItselfWhileItRuns) {
    RawPty pty;
    const int other = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    Subprocess tool({Subprocess::binary("zorvan-serial"), "term", pty.slavePath(), "--exclusive"});
    ASSERT_TRUE(tool.started());
    pty.write({'u', 'p', '\n'});
    EXPECT_EQ(tool.readLine(5s), "up");
    int exclusive = 0;
    // Root's opens pass an exclusive terminal, so the flag itself is asked.
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    tool.closeStdin();
    EXPECT_EQ(exitCode(tool.wait()), 0);
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(other);
}

TEST(ZorvanSerialToolTest, ClosedOrFailingStandardStreamsNeverReachTheDevice) {
    using Stream = Tool::Stream;
    const std::string badDescriptor =
        "zorvan-serial: cannot write the output: Bad file descriptor\n";
    const struct {
        const char* name;
        std::vector<std::string> options;  // the subcommand first
        Stream in;
        Stream out;
        int exit;
        std::string err;
    } cases[] = {
        {"term with stdin closed", {"term"}, Stream::Closed, Stream::Pipe, 0, ""},
        {"term with stdout closed", {"term"}, Stream::Pipe, Stream::Closed, 1, badDescriptor},
        {"read with stdout closed",
         {"read", "--bytes", "5"},
         Stream::Pipe,
         Stream::Closed,
         1,
         badDescriptor},
        {"read into a full disk",
         {"read", "--bytes", "5"},
         Stream::Pipe,
         Stream::Full,
         1,
         "zorvan-serial: cannot write the output: No space left on device\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawPty pty;
        const termios before = deviceSettings(pty);
        pty.write({'h', 'e', 'l', 'l', 'o'});  // the device speaks first
        std::vector<std::string> args = c.options;
        args.insert(args.begin() + 1, pty.slavePath());
        Tool tool(args, c.in, c.out);
        EXPECT_EQ(tool.wait(5s), c.exit);
        EXPECT_EQ(tool.err(), c.err);
        // Nothing came back to the device as keys or as output, and the
        // keyboard's raw mode never reached it.
        EXPECT_TRUE(drainDevice(pty, 300ms).empty());
        EXPECT_TRUE(sameSettings(deviceSettings(pty), before));
    }
}

}  // namespace
}  // namespace zorvan::test
