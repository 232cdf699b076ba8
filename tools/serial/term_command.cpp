// zorvan-serial term: a serial terminal. The port's input goes to stdout
// (background reads), stdin to the port (PortFeeder: no faster than the
// device takes it, with an exact count of what it took).
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

#include "serial/plain_run_loop.h"
#include "tools/serial/hex_dump.h"
#include "tools/serial/port_feeder.h"
#include "tools/serial/serial_command.h"
#include "tools/serial/term_menu.h"

namespace zorvan::serial_tool {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kQuitKey = 0x1d;  // Ctrl-]

int gSignalPipe[2] = {-1, -1};
void onQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
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
    ~RawKeyboard() { restore(); }
    // The terminal's own settings back: Ctrl-C interrupts again.
    void restore() {
        if (active_) {
            ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
            active_ = false;
        }
    }
    RawKeyboard(const RawKeyboard&) = delete;
    RawKeyboard& operator=(const RawKeyboard&) = delete;
    bool active() const { return active_; }

  private:
    termios saved_{};
    bool active_ = false;
};

class Terminal final : public serial::VXSerialPortReadDelegate {
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
            fail();
            return;
        }
        if (!received(report.data)) {
            return;
        }
        report.serialPort->readDataInBackground();
    }

    // With --hex, bytes that come a few at a time (a slow line) gather into
    // lines of 16: a part line shows after a pause, or before what is sent.
    bool received(std::span<const std::uint8_t> bytes) {
        if (!hex) {
            return show(bytes, "");
        }
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        const std::size_t whole = received_.size() / 16 * 16;
        if (whole > 0) {
            const bool shown = show(std::span(received_).first(whole), "RX ");
            received_.erase(received_.begin(),
                            received_.begin() + static_cast<std::ptrdiff_t>(whole));
            if (!shown) {
                return false;
            }
        }
        if (!received_.empty()) {
            // Only the latest timer shows the part line; the loop runs no
            // task after the terminal is gone.
            loop_.postAfter(50ms, [this, generation = ++generation_] {
                if (generation == generation_) {
                    showReceived();
                }
            });
        }
        return true;
    }
    bool showReceived() {
        const bool shown = received_.empty() || show(received_, "RX ");
        received_.clear();
        return shown;
    }
    void sent(std::span<const std::uint8_t> bytes) {
        if (showReceived()) {
            show(bytes, "TX ");
        }
    }

    // Writes to stdout, with --hex as hex and text after the direction's
    // label; a failure ends the terminal, said once.
    bool show(std::span<const std::uint8_t> bytes, const char* label) {
        const std::string dump =
            hex ? hexDump(bytes, [label](std::size_t) { return std::string(label); })
                : std::string();
        if (hex ? writeOutput(dump.data(), dump.size()) : writeOutput(bytes.data(), bytes.size())) {
            return true;
        }
        if (!quitting) {
            sayOutputFailed(errno);
            fail();
        }
        return false;
    }

    void fail() {
        status = 1;
        quit();
    }
    void quit() {
        quitting = true;
        loop_.quit();
    }

    bool hex = false;
    bool quitting = false;
    bool interrupted = false;
    int status = 0;

  private:
    serial::PlainRunLoop& loop_;
    std::vector<std::uint8_t> received_;  // --hex: a part line not yet shown
    std::uint64_t generation_ = 0;
};

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fflush(stderr);
}

// What the menu's commands do to the port; files go out through the feeder
// (made later, so held by reference to its pointer).
TermMenu::Actions menuActions(serial::VXSerialPort& port, PortFeeder* const& feeder,
                              bool& sentFiles) {
    TermMenu::Actions actions;
    actions.setSpeed = [&port](long rate) {
        const long before = port.speed();
        if (port.setSpeed(rate) && port.commitChanges()) {
            say("--- %ld bit/s ---\n", rate);
            return;
        }
        const int reason = port.errorCode();
        port.clearError();
        port.setSpeed(before);
        port.commitChanges();
        say("--- the device refuses %ld bit/s (%s); it stays at %ld ---\n", rate,
            serial::errnoText(reason).c_str(), before);
    };
    // Flips one output line; the lines are read first, so the menu never
    // guesses what the device has.
    const auto toggle = [&port](unsigned line, const char* name) {
        serial::SerialError result;
        const auto lines = port.modemLines(&result);
        if (lines) {
            const bool raise = (*lines & line) == 0;
            errno = 0;
            const bool done = line == serial::VXModemLineRTS
                                  ? (raise ? port.setRTS(&result) : port.clearRTS(&result))
                                  : (raise ? port.setDTR() : port.clearDTR());
            if (done) {
                say("--- %s %s ---\n", name, raise ? "on" : "off");
                return;
            }
        }
        // setDTR tells no more than errno.
        const std::string why = result.code != serial::VXSerialErrorNone ? failureText(result)
                                                                         : serial::errnoText(errno);
        say("--- %s can't be changed: %s ---\n", name, why.c_str());
    };
    actions.toggleDTR = [toggle] { toggle(serial::VXModemLineDTR, "DTR"); };
    actions.toggleRTS = [toggle] { toggle(serial::VXModemLineRTS, "RTS"); };
    actions.showLines = [&port] {
        serial::SerialError result;
        const auto lines = port.modemLines(&result);
        say("--- %s ---\n", lines ? linesText(*lines).c_str() : failureText(result).c_str());
    };
    actions.sendBreak = [&port] {
        errno = 0;
        if (port.sendBreak()) {
            say("--- break sent ---\n");
        } else {
            say("--- no break sent: %s ---\n", serial::errnoText(errno).c_str());
        }
    };
    actions.sendFile = [&feeder, &sentFiles](const std::string& name) {
        std::string path = name;
        const char* home = std::getenv("HOME");
        if (path.starts_with("~/") && home != nullptr) {
            path = home + path.substr(1);
        }
        // Non-blocking, so that a FIFO named by mistake never stops the terminal.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            say("--- %s can't be sent: %s ---\n", path.c_str(),
                fd < 0 ? serial::errnoText(errno).c_str() : "not a regular file");
            if (fd >= 0) {
                ::close(fd);
            }
            return;
        }
        if (feeder->sendingFile()) {
            ::close(fd);
            say("--- %s can't be sent while another file is ---\n", path.c_str());
            return;
        }
        say("--- sending %s (%lld bytes) ---\n", path.c_str(),
            static_cast<long long>(info.st_size));
        sentFiles = true;
        if (!feeder->sendFile(fd)) {
            ::close(fd);  // the device failed already, as was said
        }
    };
    return actions;
}

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
    bool hex = false;
    std::string error;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        if (takeLineOption(args, i, line, error)) {
            continue;
        }
        const std::string& a = args[i];
        if (a == "--echo") {
            echo = true;
        } else if (a == "--hex") {
            hex = true;
        } else if (a == "--help") {
            printUsage(stdout);
            return 0;
        } else if (a == "--version") {
            printVersion();
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
    terminal->hex = hex;
    port->setRunLoop(loop);
    port->setDelegate(terminal);

    serial::RunLoop::WatchId signalWatch = 0;
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = onQuitSignal;
        ::sigemptyset(&action.sa_mask);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            ::sigaction(signal, &action, nullptr);
        }
        signalWatch = loop->watchReadable(gSignalPipe[0], [&] {
            char bytes[16];
            while (::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
            }
            terminal->interrupted = true;
            terminal->quit();
        });
    }
    // A reader that goes away ends the terminal instead of killing it.
    ::signal(SIGPIPE, SIG_IGN);

    RawKeyboard keyboard;
    const bool interactive = keyboard.active();
    if (interactive) {
        std::fprintf(stderr, "--- %s at %ld bit/s; Ctrl-] quits, Ctrl-T h shows the menu ---\n",
                     path->c_str(), port->speed());
    }
    PortFeeder* sender = nullptr;
    bool sentFiles = false;
    // Only keys typed on a terminal make the menu: piped input goes out whole.
    std::optional<TermMenu> menu;
    if (interactive) {
        menu.emplace(menuActions(*port, sender, sentFiles), stderr);
    }
    PortFeeder feeder(
        *loop, *port, STDIN_FILENO, kQuitKey,
        {.filter = menu ? std::function(
                              [&](std::span<const std::uint8_t> keys,
                                  std::vector<std::uint8_t>& send) { menu->filter(keys, send); })
                        : nullptr,
         .onInput =
             [&](std::span<const std::uint8_t> bytes) {
                 if (echo || hex) {
                     terminal->sent(bytes);
                 }
             },
         .onInputEnd =
             [&] {
                 if (!interactive) {
                     return;
                 }
                 // What was typed still goes out; Ctrl-C gives up on a device
                 // that does not take it.
                 keyboard.restore();
                 loop->postAfter(500ms, [&] {
                     if (!terminal->quitting && feeder.taken() > feeder.delivered()) {
                         std::fprintf(
                             stderr,
                             "\n--- waiting for the device to take %llu bytes; Ctrl-C "
                             "gives up ---\n",
                             static_cast<unsigned long long>(feeder.taken() - feeder.delivered()));
                     }
                 });
             },
         .onAllWritten = [&] { terminal->quit(); },
         .onWriteFailed =
             [&](int reason) {
                 if (!terminal->quitting) {
                     std::fprintf(stderr, "\nzorvan-serial: %s: cannot write to the device: %s\n",
                                  path->c_str(), serial::errnoText(reason).c_str());
                     terminal->fail();
                 }
             },
         .onFileSent =
             [](std::uint64_t bytes, int error) {
                 if (error == 0) {
                     std::fprintf(stderr, "--- file sent: %llu bytes ---\n",
                                  static_cast<unsigned long long>(bytes));
                 } else {
                     std::fprintf(
                         stderr, "--- the file could not be read on after %llu bytes: %s ---\n",
                         static_cast<unsigned long long>(bytes), serial::errnoText(error).c_str());
                 }
             }});
    sender = &feeder;
    if (!feeder.start()) {
        std::fprintf(stderr, "zorvan-serial: %s: %s\n", path->c_str(),
                     serial::errnoText(errno).c_str());
        port->close();
        return 1;
    }
    port->readDataInBackground();
    loop->run();
    if (terminal->status == 0) {
        terminal->showReceived();
    }
    feeder.stop();
    if (signalWatch != 0) {
        loop->unwatch(signalWatch);
    }

    std::uint64_t undelivered = feeder.taken() - feeder.delivered();
    int queued = 0;
    if (terminal->interrupted && ::ioctl(port->fileDescriptor(), TIOCOUTQ, &queued) == 0 &&
        queued > 0) {
        // Output the device holds up would keep close() waiting for it: it
        // is dropped, and counted as not delivered.
        port->flushInputOutput(false, true);
        undelivered +=
            std::min<std::uint64_t>(static_cast<std::uint64_t>(queued), feeder.delivered());
    }
    port->close();  // settings back; ends the waiting read
    runUntil(
        *loop,
        [&] {
            // The thread lets go of the port just after its count falls.
            return port->numberOfReadInBackgroundThreads() == 0 && port.use_count() == 1;
        },
        2s);
    port->setDelegate(nullptr);
    if (interactive) {
        std::fprintf(stderr, "\n--- closed %s ---\n", path->c_str());
    }
    // Piped input cut short is data lost too, even with nothing waiting.
    const bool cutShort =
        terminal->interrupted && !feeder.inputEnded() && ::isatty(STDIN_FILENO) != 1;
    if (undelivered > 0 || cutShort) {
        std::fprintf(stderr,
                     "zorvan-serial: %s: %s%llu of %llu bytes from stdin%s were not delivered%s\n",
                     path->c_str(), terminal->interrupted ? "interrupted: " : "",
                     static_cast<unsigned long long>(undelivered),
                     static_cast<unsigned long long>(feeder.taken()), sentFiles ? " and files" : "",
                     feeder.inputEnded() ? "" : ", and the rest of stdin was not read");
        return 1;
    }
    return terminal->status;
}

}  // namespace zorvan::serial_tool
