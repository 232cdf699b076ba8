// Moves data through a pseudo-terminal with the serial library's blocking and
// background interfaces and prints throughput (MB/s) and the round trip of a
// 1-byte request and its answer (median, p99), each beside the same figure
// for a plain read()/write() loop on the same pair in the same run.
//
// usage: zorvan-bench-serial-io [MEGABYTES] [ROUND_TRIPS] [ROUNDS]   (default 16, 2000, 5)

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
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

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    const int trips = argc > 2 ? std::atoi(argv[2]) : 2000;
    const int rounds = std::max(1, argc > 3 ? std::atoi(argv[3]) : 5);
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
        while (port.numberOfReadInBackgroundThreads() > 0) {
            loop->runFor(std::chrono::milliseconds(1));
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
    const auto backgroundWrite = [](VXSerialPort& port, int, std::size_t n) {
        auto loop = std::make_shared<PlainRunLoop>();
        auto collector = std::make_shared<Collector>();  // the port does not hold it
        port.setRunLoop(loop);
        port.setDelegate(collector);
        port.writeDataInBackground(Bytes(n, 0xAA));
        while (port.numberOfWriteInBackgroundThreads() > 0) {
            loop->runFor(std::chrono::milliseconds(1));
        }
    };

    std::printf("serial I/O through a pty: %zu MB per throughput run, %d rounds, %d round trips\n",
                megabytes, rounds, trips);
    // Each round measures the plain loop and the library back to back; the
    // figures are medians over the rounds and the ratio the median of the
    // rounds' ratios, which a machine shared with other work disturbs least.
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
        {"write, background", [&] { return writeThroughput(backgroundWrite, total); },
         [&] { return writeThroughput(plainWrite, total); }},
    };
    std::printf("%-28s %10s %10s %7s\n", "throughput (MB/s)", "library", "plain", "ratio");
    for (const Row& row : rows) {
        std::vector<double> library;
        std::vector<double> plain;
        std::vector<double> ratios;
        for (int r = 0; r < rounds; ++r) {
            double lib = 0;
            double base = 0;
            if (r % 2 == 0) {
                lib = row.library();
                base = row.plain();
            } else {
                base = row.plain();
                lib = row.library();
            }
            library.push_back(lib);
            plain.push_back(base);
            ratios.push_back(lib / base);
        }
        std::printf("%-28s %10.1f %10.1f %7.2f\n", row.name, median(library), median(plain),
                    median(ratios));
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
    const auto [blocking, plain] = roundTrips(blockingTrip, plainTrip, trips);
    std::printf("%-28s %10s %10s %7s\n", "1-byte round trip (us)", "library", "plain", "ratio");
    std::printf("%-28s %10.1f %10.1f %7.2f\n", "blocking, median", blocking.median, plain.median,
                blocking.median / plain.median);
    std::printf("%-28s %10.1f %10.1f %7.2f\n", "blocking, p99", blocking.p99, plain.p99,
                blocking.p99 / plain.p99);
    std::printf("targets: throughput ratio >= 0.90, round-trip ratio <= 1.10\n");
    return 0;
}
