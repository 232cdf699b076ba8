// End-to-end figures of the driver as users run it: packets written into a
// pseudo-terminal at the board's full rate, events read from the log backend.
// Prints the latency from a packet's last byte to its event, the CPU time per
// 1000 packets, and the CPU use and wake-ups per second of a silent board and
// of a reader paused by SIGUSR2, for the whole process and for each thread
// that woke.
//
//   zorvan-bench-e2e [--packets N] [--silent-seconds S]

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/packet.h"
#include "tests/support/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Usage {
    double cpuSeconds = 0;           // on-CPU time of every thread
    unsigned long long wakeups = 0;  // voluntary + involuntary context switches
    // Wake-ups of each thread, by "name/tid".
    std::map<std::string, unsigned long long> threadWakeups;
};

Usage usageOf(pid_t pid) {
    Usage usage;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& entry : fs::directory_iterator(tasks)) {
        std::ifstream schedstat(entry.path() / "schedstat");
        unsigned long long ns = 0;
        if (schedstat >> ns) {
            usage.cpuSeconds += static_cast<double>(ns) / 1e9;
        }
        std::string name;
        std::getline(std::ifstream(entry.path() / "comm"), name);
        unsigned long long wakeups = 0;
        std::ifstream status(entry.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                wakeups += std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
            }
        }
        usage.wakeups += wakeups;
        usage.threadWakeups[name + "/" + entry.path().filename().string()] = wakeups;
    }
    return usage;
}

// The process's CPU use and wake-ups between two looks, then each thread
// that woke at all.
void printIdle(const char* what, int seconds, const Usage& start, const Usage& end) {
    std::printf("%s over %d s: CPU %.3f%% of one core, %.2f wake-ups/s\n", what, seconds,
                100.0 * (end.cpuSeconds - start.cpuSeconds) / seconds,
                static_cast<double>(end.wakeups - start.wakeups) / seconds);
    for (const auto& [thread, wakeups] : end.threadWakeups) {
        const auto before = start.threadWakeups.find(thread);
        const unsigned long long woke =
            wakeups - (before == start.threadWakeups.end() ? 0 : before->second);
        if (woke > 0) {
            std::printf("  thread %s: %.2f wake-ups/s\n", thread.c_str(),
                        static_cast<double>(woke) / seconds);
        }
    }
}

std::array<std::uint8_t, 8> penDown(int x, int y) {
    return {0xEE,
            0x00,
            0x51,
            static_cast<std::uint8_t>(x >> 6),
            static_cast<std::uint8_t>(x & 63),
            static_cast<std::uint8_t>(y >> 6),
            static_cast<std::uint8_t>(y & 63),
            0x00};
}

bool waitForHandshake(int master, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::vector<std::uint8_t> seen;
    while (Clock::now() < deadline) {
        pollfd pfd{master, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0) {
            continue;
        }
        std::uint8_t buffer[64];
        const ssize_t n = read(master, buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) {
            seen.push_back(buffer[i]);
        }
        if (seen.size() >= 8 && seen[seen.size() - 8] == 0xCE) {
            return true;
        }
    }
    return false;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    int packets = 2000;
    int silentSeconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--packets") == 0) {
            packets = std::max(10, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--silent-seconds") == 0) {
            silentSeconds = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    const fs::path binDir = fs::read_symlink("/proc/self/exe").parent_path();

    // A 2 x 2 calibration over the whole raw range, so every packet maps.
    char configTemplate[] = "/tmp/zorvan-bench-XXXXXX";
    const fs::path config = mkdtemp(configTemplate);
    fs::create_directories(config / "Zorvan");
    std::ofstream(config / "Zorvan" / "Zorvan.conf")
        << "[General]\nDotCount=2\nDot0.x=500\nDot1.x=500\nDot2.x=3500\nDot3.x=3500\n"
           "Dot0.y=400\nDot1.y=3600\nDot2.y=400\nDot3.y=3600\n";

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    const std::string slavePath = ptsname(master);
    // Keep our own raw handle on the terminal so that bytes written before the
    // driver opens it are not cooked, and its closes never hang the line up.
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    zorvan::test::ChildProcess driver(
        {(binDir / "zorvan").string(), "--device", slavePath, "--pointer", "log"},
        {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_CONFIG_HOME", config.string()}});
    if (!waitForHandshake(master, std::chrono::seconds(10))) {
        std::fprintf(stderr, "zorvan-bench-e2e: the driver sent no handshake\n");
        return 1;
    }

    // Silent board: the reader wakes only for the handshake every ~1.5 s.
    const Usage silentStart = usageOf(driver.pid());
    std::this_thread::sleep_for(std::chrono::seconds(silentSeconds));
    const Usage silentEnd = usageOf(driver.pid());

    // Paused by the calibration tool's SIGUSR2: nothing to do at all.
    kill(driver.pid(), SIGUSR2);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const Usage pausedStart = usageOf(driver.pid());
    std::this_thread::sleep_for(std::chrono::seconds(silentSeconds));
    const Usage pausedEnd = usageOf(driver.pid());
    // SIGUSR1 resumes; the next silence loads the calibration again.
    kill(driver.pid(), SIGUSR1);
    if (!waitForHandshake(master, std::chrono::seconds(10))) {
        std::fprintf(stderr, "zorvan-bench-e2e: no handshake after resuming\n");
        return 1;
    }

    // Events arrive on the driver's stdout; stamp each as it is read.
    std::vector<Clock::time_point> arrivals;
    std::mutex arrivalsMutex;
    std::atomic<bool> stopReading{false};
    std::thread reader([&] {
        while (!stopReading) {
            if (auto line = driver.readLine(std::chrono::milliseconds(50))) {
                if (line->rfind("left-", 0) == 0 || line->rfind("right-", 0) == 0) {
                    std::lock_guard lock(arrivalsMutex);
                    arrivals.push_back(Clock::now());
                }
            }
        }
    });

    const std::array<std::uint8_t, 8> penKeysOff{0xE8, 0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD9};
    (void)!write(master, penKeysOff.data(), penKeysOff.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    // 240 packets a second is what 19200 baud carries. The first three downs
    // of a stroke are dropped by the board protocol, each later one yields
    // exactly one event (a press, then drags that leave the hold box).
    constexpr int kDropped = 3;
    const auto period = std::chrono::nanoseconds(1'000'000'000 / 240);
    std::vector<Clock::time_point> sent;
    const Usage streamStart = usageOf(driver.pid());
    auto next = Clock::now();
    for (int i = 0; i < packets + kDropped; ++i) {
        std::this_thread::sleep_until(next);
        next += period;
        // Each sweep across the board runs on a row of its own: a stroke that
        // came back to its press point would be a held pen, whose right click
        // posts five events for one packet.
        const auto packet = penDown(500 + (i * 3) % 3000, 1000 + (i / 1000) % 20 * 100);
        (void)!write(master, packet.data(), packet.size());
        if (i >= kDropped) {
            sent.push_back(Clock::now());
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Usage streamEnd = usageOf(driver.pid());
    stopReading = true;
    reader.join();

    std::vector<double> latencies;
    const std::size_t matched = std::min(sent.size(), arrivals.size());
    for (std::size_t i = 0; i < matched; ++i) {
        latencies.push_back(
            std::chrono::duration<double, std::micro>(arrivals[i] - sent[i]).count());
    }
    const double streamSeconds = static_cast<double>(packets + kDropped) / 240.0;
    std::printf("packets sent: %d counted downs at 240/s\n", packets);
    std::printf("events received: %zu, lost: %zd\n", arrivals.size(),
                static_cast<ssize_t>(sent.size()) - static_cast<ssize_t>(arrivals.size()));
    std::printf("latency last byte -> log event: median %.0f us, p99 %.0f us, max %.0f us\n",
                percentile(latencies, 0.5), percentile(latencies, 0.99),
                percentile(latencies, 1.0));
    std::printf(
        "CPU per 1000 packets at full rate: %.1f ms (%.1f%% of one core)\n",
        (streamEnd.cpuSeconds - streamStart.cpuSeconds) * 1000.0 * 1000.0 / (packets + kDropped),
        100.0 * (streamEnd.cpuSeconds - streamStart.cpuSeconds) / streamSeconds);
    printIdle("silent board", silentSeconds, silentStart, silentEnd);
    printIdle("paused reader", silentSeconds, pausedStart, pausedEnd);

    driver.terminate();
    close(slave);
    close(master);
    fs::remove_all(config);
    return 0;
}
