// zorvan-board-sim: a pseudo-terminal that behaves like the board on its
// serial line. Prints the terminal's path on the first line of stdout, plays
// a script of board traffic at the pace of 19200 baud 8N1, and prints every
// 8-byte packet the driver sends back ("rx CE 00 00 00 00 00 00 00").

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/board_sim/sim_script.h"

namespace {

using Clock = std::chrono::steady_clock;
using zorvan::sim::ScriptReader;
using zorvan::sim::SimStep;

// One start bit, eight data bits, one stop bit at 19200 baud.
constexpr auto kByteTime = std::chrono::nanoseconds(10 * 1'000'000'000LL / 19200);
// How often a hung-up line (no driver has it open) is looked at again.
constexpr auto kHangupRecheck = std::chrono::milliseconds(10);

volatile sig_atomic_t gStop = 0;
void onStopSignal(int) {
    gStop = 1;
}

struct Options {
    std::string scriptPath = "-";
    std::string linkPath;
    long lingerMs = -1;  // -1: until SIGTERM
    bool waitForDriver = true;
};

void usage(std::FILE* out) {
    std::fputs(
        "usage: zorvan-board-sim [--link PATH] [--linger MS] [--no-wait] [SCRIPT|-]\n"
        "\n"
        "Opens a pseudo-terminal that stands in for the whiteboard, prints its path on\n"
        "the first line, plays SCRIPT (default: standard input, read as it comes) at\n"
        "19200 baud 8N1, and prints each 8-byte packet the driver sends as 'rx ..'.\n"
        "\n"
        "  --link PATH   also make a symbolic link to the terminal at PATH\n"
        "  --linger MS   after the script's end, keep running MS milliseconds, then exit\n"
        "                (default: until SIGTERM or SIGINT)\n"
        "  --no-wait     start playing at once instead of when the driver opens the line\n"
        "  --help        this text\n"
        "\n"
        "Script commands, one a line, '#' starts a comment:\n"
        "  hex B0 B1 ...          raw bytes\n"
        "  mode NAME              pen | pen-keys | touch | touch-keys | a signature name\n"
        "  down X Y | up X Y      a data packet at raw X Y (0..4095)\n"
        "  key1 X Y | key2 X Y    pen double-click / right-click command\n"
        "  calibrate              the current mode's calibration command\n"
        "  stroke X0 Y0 X1 Y1 N   N downs from (X0,Y0) to (X1,Y1), then the lift\n"
        "  hold X Y N             N downs at (X,Y), then the lift\n"
        "  wait MS                silence on the line\n"
        "  repeat N ... end       the block N times (nestable)\n",
        out);
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            std::exit(0);
        } else if (arg == "--link" && i + 1 < argc) {
            options.linkPath = argv[++i];
        } else if (arg == "--linger" && i + 1 < argc) {
            char* end = nullptr;
            options.lingerMs = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || options.lingerMs < 0) {
                std::fprintf(stderr, "zorvan-board-sim: --linger needs milliseconds\n");
                return false;
            }
        } else if (arg == "--no-wait") {
            options.waitForDriver = false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "zorvan-board-sim: unknown option %s\n", arg.c_str());
            return false;
        } else {
            options.scriptPath = arg;
        }
    }
    return true;
}

// The master side, with the slave preset to raw 19200 8N1 so that nothing is
// echoed back before the driver applies its own settings.
int openTerminal(std::string& slavePath) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        return -1;
    }
    slavePath = ::ptsname(master);
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::cfsetispeed(&raw, B19200);
        ::cfsetospeed(&raw, B19200);
        ::tcsetattr(slave, TCSANOW, &raw);
        // Closing it leaves the master hung up until the driver opens the line.
        ::close(slave);
    }
    return master;
}

void printRx(const std::uint8_t* packet) {
    std::printf("rx %02X %02X %02X %02X %02X %02X %02X %02X\n", packet[0], packet[1], packet[2],
                packet[3], packet[4], packet[5], packet[6], packet[7]);
    std::fflush(stdout);
}

// Plays steps at line pace.
class LinePlayer {
  public:
    void add(std::vector<SimStep> steps) {
        for (SimStep& step : steps) {
            steps_.push_back(std::move(step));
        }
    }
    bool idle() const { return steps_.empty(); }
    Clock::time_point nextAt() const { return nextAt_; }

    // Writes what is due by now; returns false if the line refused bytes.
    void play(int master, Clock::time_point now) {
        while (!steps_.empty()) {
            SimStep& step = steps_.front();
            if (offset_ == 0 && !started_) {
                // An idle line starts now, not in the past.
                nextAt_ = std::max(nextAt_, now);
                started_ = true;
            }
            if (offset_ < step.bytes.size()) {
                if (nextAt_ > now) {
                    return;
                }
                const auto late = (now - nextAt_) / kByteTime + 1;
                const std::size_t due = std::min<std::size_t>(static_cast<std::size_t>(late),
                                                              step.bytes.size() - offset_);
                const ssize_t written = ::write(master, step.bytes.data() + offset_, due);
                if (written <= 0) {
                    // Full or hung up: try the same bytes again a byte later.
                    nextAt_ = now + kByteTime;
                    return;
                }
                offset_ += static_cast<std::size_t>(written);
                nextAt_ += kByteTime * written;
                continue;
            }
            if (!pausing_) {
                nextAt_ += step.pause;
                pausing_ = true;
            }
            if (nextAt_ > now) {
                return;
            }
            steps_.pop_front();
            offset_ = 0;
            pausing_ = false;
            started_ = false;
        }
    }

  private:
    std::deque<SimStep> steps_;
    std::size_t offset_ = 0;
    bool started_ = false;
    bool pausing_ = false;
    Clock::time_point nextAt_{};
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        usage(stderr);
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);

    ScriptReader reader;
    LinePlayer player;
    bool inputOpen = true;
    int inputFd = STDIN_FILENO;
    std::string partialLine;
    const auto feed = [&](std::string_view line) {
        std::vector<SimStep> steps;
        if (auto error = reader.addLine(line, steps)) {
            std::fprintf(stderr, "zorvan-board-sim: %s\n", error->c_str());
            std::exit(2);
        }
        player.add(std::move(steps));
    };
    const auto endOfInput = [&] {
        if (!partialLine.empty()) {
            feed(partialLine);
            partialLine.clear();
        }
        if (auto error = reader.finish()) {
            std::fprintf(stderr, "zorvan-board-sim: %s\n", error->c_str());
            std::exit(2);
        }
        inputOpen = false;
    };
    if (options.scriptPath != "-") {
        // A file is checked whole before anything is played.
        std::ifstream file(options.scriptPath);
        if (!file) {
            std::fprintf(stderr, "zorvan-board-sim: cannot read %s: %s\n",
                         options.scriptPath.c_str(), std::strerror(errno));
            return 2;
        }
        std::string line;
        while (std::getline(file, line)) {
            feed(line);
        }
        endOfInput();
    }

    std::string slavePath;
    const int master = openTerminal(slavePath);
    if (master < 0) {
        std::fprintf(stderr, "zorvan-board-sim: cannot open a pseudo-terminal: %s\n",
                     std::strerror(errno));
        return 1;
    }
    if (!options.linkPath.empty()) {
        ::unlink(options.linkPath.c_str());
        if (::symlink(slavePath.c_str(), options.linkPath.c_str()) != 0) {
            std::fprintf(stderr, "zorvan-board-sim: cannot link %s: %s\n", options.linkPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    // SIGTERM and SIGINT are taken only inside ppoll, so they never cut a
    // write short and always end the loop cleanly.
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    bool started = !options.waitForDriver;
    bool hungUp = false;
    Clock::time_point hangupCheck{};
    std::optional<Clock::time_point> lingerEnd;
    std::vector<std::uint8_t> received;

    while (!gStop) {
        const auto now = Clock::now();
        if (started) {
            player.play(master, now);
        }
        if (!inputOpen && player.idle() && !lingerEnd && options.lingerMs >= 0) {
            lingerEnd = now + std::chrono::milliseconds(options.lingerMs);
        }
        if (lingerEnd && now >= *lingerEnd) {
            break;
        }

        Clock::time_point wakeAt = Clock::time_point::max();
        if (started && !player.idle()) {
            wakeAt = player.nextAt();
        }
        if (hungUp) {
            wakeAt = std::min(wakeAt, hangupCheck);
        }
        if (lingerEnd) {
            wakeAt = std::min(wakeAt, *lingerEnd);
        }
        pollfd fds[2];
        nfds_t count = 0;
        int masterIndex = -1;
        int inputIndex = -1;
        if (!hungUp || Clock::now() >= hangupCheck) {
            masterIndex = static_cast<int>(count);
            fds[count++] = pollfd{master, POLLIN, 0};
        }
        if (inputOpen) {
            inputIndex = static_cast<int>(count);
            fds[count++] = pollfd{inputFd, POLLIN, 0};
        }
        timespec timeout{};
        timespec* timeoutPointer = nullptr;
        if (wakeAt != Clock::time_point::max()) {
            const auto left = std::max(wakeAt - Clock::now(), Clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout = timespec{static_cast<time_t>(ns / 1'000'000'000),
                               static_cast<long>(ns % 1'000'000'000)};
            timeoutPointer = &timeout;
        }
        if (masterIndex >= 0 && hungUp) {
            // Only a look: a hung-up master stays readable-as-hangup.
            timeout = timespec{0, 0};
            timeoutPointer = &timeout;
        }
        const int ready = ::ppoll(fds, count, timeoutPointer, &waitMask);
        if (ready < 0) {
            continue;  // EINTR: a stop signal, checked at the top
        }
        if (masterIndex >= 0) {
            const short events = fds[masterIndex].revents;
            if (events & POLLIN) {
                std::uint8_t buffer[256];
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0) {
                    received.insert(received.end(), buffer, buffer + n);
                    while (received.size() >= 8) {
                        printRx(received.data());
                        received.erase(received.begin(), received.begin() + 8);
                    }
                }
            }
            const bool nowHungUp = (events & POLLHUP) != 0 && (events & POLLIN) == 0;
            if (!nowHungUp && !started) {
                started = true;  // the driver opened the line
            }
            hungUp = nowHungUp;
            if (hungUp) {
                hangupCheck = Clock::now() + kHangupRecheck;
            }
        }
        if (inputIndex >= 0 && fds[inputIndex].revents != 0) {
            char buffer[4096];
            const ssize_t n = ::read(inputFd, buffer, sizeof buffer);
            if (n <= 0) {
                endOfInput();
            } else {
                partialLine.append(buffer, static_cast<std::size_t>(n));
                std::size_t end;
                while ((end = partialLine.find('\n')) != std::string::npos) {
                    feed(std::string_view(partialLine).substr(0, end));
                    partialLine.erase(0, end + 1);
                }
            }
        }
    }

    if (!options.linkPath.empty()) {
        ::unlink(options.linkPath.c_str());
    }
    ::close(master);
    return 0;
}
