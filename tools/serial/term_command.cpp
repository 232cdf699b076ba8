// zorvan-serial term: a serial terminal on the library's background reads and
// writes. The port's input goes to stdout, stdin to the port.
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "serial/plain_run_loop.h"
#include "tools/serial/serial_command.h"

namespace zorvan::serial_tool {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kQuitKey = 0x1d;  // Ctrl-]

int gSignalPipe[2] = {-1, -1};
void onQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

bool writeAll(int fd, const std::uint8_t* p, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Keys reach the program one by one and unchanged (Ctrl-C included, as the
// device may want it); output keeps the terminal's own line handling.
class RawKeyboard {
  public:
    RawKeyboard() {
        if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &saved_) != 0) {
            return;
        }
        termios raw = saved_;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
        raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~RawKeyboard() {
        if (active_) {
            ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
        }
    }
    RawKeyboard(const RawKeyboard&) = delete;
    RawKeyboard& operator=(const RawKeyboard&) = delete;
    bool active() const { return active_; }

  private:
    termios saved_{};
    bool active_ = false;
};

class Terminal final : public serial::VXSerialPortReadDelegate,
                       public serial::VXSerialPortWriteDelegate {
  public:
    explicit Terminal(serial::PlainRunLoop& loop) : loop_(loop) {}

    void serialPortReadData(const serial::VXSerialReadReport& report) override {
        if (quitting) {
            return;
        }
        if (report.data.empty()) {
            // Only a failed wait or read ends a chunk empty: the device is gone.
            std::fprintf(stderr, "\nzorvan-serial: %s: the device stopped answering\n",
                         report.serialPort->bsdPath().c_str());
            status = 1;
            quit();
            return;
        }
        if (!writeAll(STDOUT_FILENO, report.data.data(), report.data.size())) {
            quit();  // nobody reads our output any more
            return;
        }
        report.serialPort->readDataInBackground();
    }
    void serialPortWriteProgress(const serial::VXSerialWriteProgress&) override {}

    void quit() {
        quitting = true;
        loop_.quit();
    }

    bool quitting = false;
    int status = 0;

  private:
    serial::PlainRunLoop& loop_;
};

// Runs the loop until done() or limit.
void runUntil(serial::PlainRunLoop& loop, const std::function<bool()>& done,
              std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
        loop.runFor(5ms);
    }
}

}  // namespace

int runTerm(const std::vector<std::string>& args) {
    LineOptions line;
    std::optional<std::string> path;
    bool echo = false;
    std::string error;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        if (takeLineOption(args, i, line, error)) {
            continue;
        }
        const std::string& a = args[i];
        if (a == "--echo") {
            echo = true;
        } else if (a == "--help") {
            printUsage(stdout);
            return 0;
        } else {
            takePath(a, path, error);
        }
    }
    if (badCommandLine("term", path, error)) {
        return 2;
    }
    const auto port = openPort(*path, line);
    if (!port) {
        return 1;
    }
    auto loop = std::make_shared<serial::PlainRunLoop>();
    auto terminal = std::make_shared<Terminal>(*loop);
    port->setRunLoop(loop);
    port->setDelegate(terminal);

    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = onQuitSignal;
        ::sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            ::sigaction(signal, &action, nullptr);
        }
        loop->watchReadable(gSignalPipe[0], [&] { terminal->quit(); });
    }
    // A reader that goes away ends the terminal instead of killing it.
    ::signal(SIGPIPE, SIG_IGN);

    RawKeyboard keyboard;
    if (keyboard.active()) {
        std::fprintf(stderr, "--- %s at %ld bit/s; Ctrl-] quits ---\n", path->c_str(),
                     port->speed());
    }
    const auto stdinWatch = loop->watchReadable(STDIN_FILENO, [&] {
        std::uint8_t keys[4096];
        const ssize_t n = ::read(STDIN_FILENO, keys, sizeof keys);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            return;
        }
        if (n <= 0) {
            terminal->quit();  // end of stdin, once what it gave is written
            return;
        }
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(keys, kQuitKey, n));
        const std::size_t take = end != nullptr ? static_cast<std::size_t>(end - keys) : n;
        if (take > 0) {
            if (echo) {
                writeAll(STDOUT_FILENO, keys, take);
            }
            port->writeDataInBackground(serial::Bytes(keys, keys + take));
        }
        if (end != nullptr) {
            terminal->quit();
        }
    });
    port->readDataInBackground();
    loop->run();
    loop->unwatch(stdinWatch);

    // What was typed still goes out, unless the device holds it up for long.
    runUntil(
        *loop, [&] { return port->numberOfWriteInBackgroundThreads() == 0; }, 2s);
    port->close();  // settings back; ends the waiting read
    runUntil(
        *loop,
        [&] {
            // A thread lets go of the port just after its count falls.
            return port->numberOfReadInBackgroundThreads() == 0 &&
                   port->numberOfWriteInBackgroundThreads() == 0 && port.use_count() == 1;
        },
        2s);
    port->setDelegate(nullptr);
    if (keyboard.active()) {
        std::fprintf(stderr, "\n--- closed %s ---\n", path->c_str());
    }
    return terminal->status;
}

}  // namespace zorvan::serial_tool
