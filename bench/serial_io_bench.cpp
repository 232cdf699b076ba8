// Moves data through a pseudo-terminal with the serial library's blocking and
// background interfaces and prints throughput (MB/s) and the round trip of a
// 1-byte request and its answer (median, p99), each beside the same figure
// for a plain read()/write() loop on the same pair in the same run.
//
// A machine shared with other work swings single figures a lot, so library
// and plain rounds alternate (each side going first every other round), at
// least 11 of each. Throughput: the best round of each side and the ratio of
// the two bests (what each can do when the machine leaves it alone), with the
// spread (worst..best). Round trips: each round's median per side, then the
// median of those medians and their ratio, with the spread of the medians.

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/serial.h"

namespace {

using namespace zorvan::serial;
using Clock = std::chrono::steady_clock;

// A raw pty: the "device" end (master) is driven by a thread of the bench.
struct Pty {
    int master = -1;
    std::string path;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        path = ::ptsname(master);
        termios t{};
        ::tcgetattr(master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master, TCSANOW, &t);
    }
    ~Pty() { ::close(master); }
};

void writeAll(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t k = ::write(fd, p, n);
        if (k <= 0) {
            return;
        }
        p += k;
        n -= static_cast<std::size_t>(k);
    }
}

void drain(int fd, std::size_t n, std::size_t chunk = 65536) {
    std::vector<std::uint8_t> buffer(chunk);
    while (n > 0) {
        const ssize_t k = ::read(fd, buffer.data(), std::min(n, buffer.size()));
        if (k <= 0) {
            return;
        }
        n -= static_cast<std::size_t>(k);
    }
}

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// --- Throughput: the device sends `total` bytes, the port takes them in. ---

double readThroughput(const std::function<void(VXSerialPort&, int slaveFd, std::size_t)>& take,
                      std::size_t total) {
    Pty pty;
    auto port = std::make_shared<VXSerialPort>(pty.path, "pty", "IOSerialStream");
    port->open();
    port->setReadTimeout(5.0);
    std::thread device([&] {
        const std::vector<std::uint8_t> block(65536, 0x55);
        for (std::size_t sent = 0; sent < total; sent += block.size()) {
            writeAll(pty.master, block.data(), std::min(block.size(), total - sent));
        }
    });
    const auto start = Clock::now();
    take(*port, port->fileDescriptor(), total);
    const double s = seconds(start);
    device.join();
    return static_cast<double>(total) / s / 1e6;
}

// --- Throughput: the port sends `total` bytes, the device drains them. ---

double writeThroughput(const std::function<void(VXSerialPort&, int slaveFd, std::size_t)>& give,
                       std::size_t total) {
    Pty pty;
    auto port = std::make_shared<VXSerialPort>(pty.path, "pty", "IOSerialStream");
    port->open();
    std::thread device([&] { drain(pty.master, total); });
    const auto start = Clock::now();
    give(*port, port->fileDescriptor(), total);
    device.join();
    return static_cast<double>(total) / seconds(start) / 1e6;
}

// Collects background reports on the loop's thread.
struct Collector : VXSerialPortReadDelegate, VXSerialPortWriteDelegate {
    PlainRunLoop* loop = nullptr;
    std::size_t received = 0;
    std::size_t want = 0;
    void serialPortReadData(const VXSerialReadReport& report) override {
        received += report.data.size();
        if (received >= want || report.data.empty()) {
            loop->quit();
        } else {
            report.serialPort->readDataInBackground();
        }
    }
    void serialPortWriteProgress(const VXSerialWriteProgress&) override {}
};

// --- Round trip: one byte out, the device echoes it, one byte in. ---

struct Latency {
    double median = 0;
    double p99 = 0;
};

using Trip = std::function<void(VXSerialPort&, int slaveFd)>;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Trips of the library and of the plain loop alternate on one pair (each
// going first every other time), so both see the same load of the machine.
std::pair<Latency, Latency> roundTrips(const Trip& library, const Trip& plain, int count) {
    Pty pty;
    auto port = std::make_shared<VXSerialPort>(pty.path, "pty", "IOSerialStream");
    port->open();
    port->setReadTimeout(5.0);
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        std::uint8_t byte = 0;
        while (!stop.load() && ::read(pty.master, &byte, 1) == 1) {
            writeAll(pty.master, &byte, 1);
        }
    });
    std::vector<double> micros[2];
    const Trip* trips[2] = {&library, &plain};
    for (int i = 0; i < count; ++i) {
        for (int k = 0; k < 2; ++k) {
            const int which = (i + k) % 2;
            const auto start = Clock::now();
            (*trips[which])(*port, port->fileDescriptor());
            micros[which].push_back(seconds(start) * 1e6);
        }
    }
    stop.store(true);
    const std::uint8_t wake = 0;
    writeAll(port->fileDescriptor(), &wake, 1);  // ends the echo's last read
    echo.join();
    Latency result[2];
    for (int which = 0; which < 2; ++which) {
        auto& m = micros[which];
        std::sort(m.begin(), m.end());
        result[which] = {m[m.size() / 2], m[m.size() * 99 / 100]};
    }
    return {result[0], result[1]};
}

constexpr const char kUsage[] =
    "usage: zorvan-bench-serial-io [MEGABYTES [ROUND_TRIPS [ROUNDS]]]\n"
    "  MEGABYTES    data per throughput round (1..4096, default 8)\n"
    "  ROUND_TRIPS  1-byte round trips per side per round (1..1000000, default 1000)\n"
    "  ROUNDS       rounds of each side, interleaved (11..1000, default 11)\n";

// A whole decimal number within [low, high], or nullopt.
std::optional<long> argument(std::string_view text, long low, long high) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

struct Spread {
    double best;
    double worst;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const struct {
        const char* name;
        long low, high, fallback;
    } params[] = {
        {"MEGABYTES", 1, 4096, 8}, {"ROUND_TRIPS", 1, 1000000, 1000}, {"ROUNDS", 11, 1000, 11}};
    long values[3];
    if (argc > 4) {
        std::fprintf(stderr, "zorvan-bench-serial-io: too many arguments\n%s", kUsage);
        return 2;
    }
    for (int i = 0; i < 3; ++i) {
        values[i] = params[i].fallback;
        if (argc > i + 1) {
            const auto v = argument(argv[i + 1], params[i].low, params[i].high);
            if (!v) {
                std::fprintf(
                    stderr,
                    "zorvan-bench-serial-io: %s must be a number from %ld to %ld, not \"%s\"\n%s",
                    params[i].name, params[i].low, params[i].high, argv[i + 1], kUsage);
                return 2;
            }
            values[i] = *v;
        }
    }
    const auto megabytes = static_cast<std::size_t>(values[0]);
    const int trips = static_cast<int>(values[1]);
    const int rounds = static_cast<int>(values[2]);
    const std::size_t total = megabytes * 1000000;

    // In chunks of the library's buffer size: the same work without the library.
    const auto plainRead = [](VXSerialPort&, int fd, std::size_t n) { drain(fd, n, 4096); };
    const auto blockingRead = [](VXSerialPort& port, int, std::size_t n) {
        std::size_t got = 0;
        while (got < n) {
            const auto data = port.readBytes(
                static_cast<unsigned>(std::min<std::size_t>(n - got, 4096)), nullptr);
            if (!data) {
                return;
            }
            got += data->size();
        }
    };
    const auto backgroundRead = [](VXSerialPort& port, int, std::size_t n) {
        auto loop = std::make_shared<PlainRunLoop>();
        auto collector = std::make_shared<Collector>();
        collector->loop = loop.get();
        collector->want = n;
        port.setRunLoop(loop);
        port.setDelegate(collector);
        port.readDataInBackground();
        loop->run();
        // The last report is in: its read ends within microseconds, and a
        // millisecond's sleep here would be counted against the library.
        while (port.numberOfReadInBackgroundThreads() > 0) {
            std::this_thread::yield();
        }
    };
    const auto plainWrite = [](VXSerialPort&, int fd, std::size_t n) {
        const std::vector<std::uint8_t> block(4096, 0xAA);
        for (std::size_t sent = 0; sent < n; sent += block.size()) {
            writeAll(fd, block.data(), std::min(block.size(), n - sent));
        }
    };
    const auto blockingWrite = [](VXSerialPort& port, int, std::size_t n) {
        const std::vector<std::uint8_t> block(4096, 0xAA);
        for (std::size_t sent = 0; sent < n; sent += block.size()) {
            port.writeData(std::span(block.data(), std::min(block.size(), n - sent)), nullptr);
        }
    };
    // A client has its data before it writes: made before the clock starts,
    // as the plain loop's block is. The transfer ends, for both sides, when
    // the device has drained every byte (writeThroughput), not when a poll of
    // the worker count next looks.
    Bytes payload;
    const auto backgroundWrite = [&payload](VXSerialPort& port, int, std::size_t) {
        auto loop = std::make_shared<PlainRunLoop>();
        auto collector = std::make_shared<Collector>();  // the port does not hold it
        port.setRunLoop(loop);
        port.setDelegate(collector);
        port.writeDataInBackground(std::move(payload));
    };

    std::printf(
        "serial I/O through a pty: %zu MB per throughput round, %d rounds per side, %d round "
        "trips per side per round\n",
        megabytes, rounds, trips);
    struct Row {
        const char* name;
        std::function<double()> library;
        std::function<double()> plain;
    };
    const Row rows[] = {
        {"read, blocking", [&] { return readThroughput(blockingRead, total); },
         [&] { return readThroughput(plainRead, total); }},
        {"read, background", [&] { return readThroughput(backgroundRead, total); },
         [&] { return readThroughput(plainRead, total); }},
        {"write, blocking", [&] { return writeThroughput(blockingWrite, total); },
         [&] { return writeThroughput(plainWrite, total); }},
        {"write, background",
         [&] {
             payload.assign(total, 0xAA);
             return writeThroughput(backgroundWrite, total);
         },
         [&] { return writeThroughput(plainWrite, total); }},
    };
    const auto spread = [](const std::vector<double>& v) {
        const auto [low, high] = std::minmax_element(v.begin(), v.end());
        return Spread{*high, *low};
    };
    std::printf("%-22s %9s %9s %7s   %-15s %-15s\n", "throughput (MB/s)", "library", "plain",
                "ratio", "library spread", "plain spread");
    bool throughputMet = true;
    for (const Row& row : rows) {
        std::vector<double> library;
        std::vector<double> plain;
        for (int r = 0; r < rounds; ++r) {
            if (r % 2 == 0) {
                library.push_back(row.library());
                plain.push_back(row.plain());
            } else {
                plain.push_back(row.plain());
                library.push_back(row.library());
            }
        }
        const Spread lib = spread(library);
        const Spread base = spread(plain);
        const double ratio = lib.best / base.best;
        throughputMet = throughputMet && ratio >= 0.95;
        std::printf("%-22s %9.1f %9.1f %7.2f   %6.1f..%-7.1f %6.1f..%-7.1f\n", row.name, lib.best,
                    base.best, ratio, lib.worst, lib.best, base.worst, base.best);
    }

    const auto plainTrip = [](VXSerialPort&, int fd) {
        std::uint8_t byte = 'r';
        writeAll(fd, &byte, 1);
        [[maybe_unused]] const ssize_t n = ::read(fd, &byte, 1);
    };
    const auto blockingTrip = [](VXSerialPort& port, int) {
        const std::uint8_t byte = 'r';
        port.writeData(std::span(&byte, 1), nullptr);
        port.readBytes(1, nullptr);
    };
    std::vector<double> libraryMedians;
    std::vector<double> plainMedians;
    std::vector<double> libraryP99;
    std::vector<double> plainP99;
    for (int r = 0; r < rounds; ++r) {
        const auto [lib, base] = roundTrips(blockingTrip, plainTrip, trips);
        libraryMedians.push_back(lib.median);
        plainMedians.push_back(base.median);
        libraryP99.push_back(lib.p99);
        plainP99.push_back(base.p99);
    }
    const double libMedian = median(libraryMedians);
    const double plainMedian = median(plainMedians);
    const Spread libSpread = spread(libraryMedians);
    const Spread plainSpread = spread(plainMedians);
    std::printf("%-22s %9s %9s %7s   %-15s %-15s\n", "1-byte round trip (us)", "library", "plain",
                "ratio", "library spread", "plain spread");
    std::printf("%-22s %9.1f %9.1f %7.2f   %6.1f..%-7.1f %6.1f..%-7.1f\n", "median of medians",
                libMedian, plainMedian, libMedian / plainMedian, libSpread.worst, libSpread.best,
                plainSpread.worst, plainSpread.best);
    std::printf("%-22s %9.1f %9.1f %7.2f\n", "median of p99s", median(libraryP99), median(plainP99),
                median(libraryP99) / median(plainP99));
    const bool tripsMet = libMedian / plainMedian <= 1.05;
    std::printf("targets: throughput ratio >= 0.95 (%s), round-trip median ratio <= 1.05 (%s)\n",
                throughputMet ? "met" : "not met", tripsMet ? "met" : "not met");
    return 0;
}
