// Moves data through a pseudo-terminal with the serial library's blocking and
// background interfaces and prints throughput (MB/s) and the round trip of a
// 1-byte request and its answer (median, p99), each beside the same figure
// for a plain read()/write() loop on the same pair in the same run.
//
// usage: zorvan-bench-serial-io [MEGABYTES] [ROUND_TRIPS]   (default 32, 2000)

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

void drain(int fd, std::size_t n) {
    std::vector<std::uint8_t> buffer(65536);
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

Latency roundTrips(const std::function<void(VXSerialPort&, int slaveFd)>& once, int count) {
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
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        once(*port, port->fileDescriptor());
        micros.push_back(seconds(start) * 1e6);
    }
    stop.store(true);
    const std::uint8_t wake = 0;
    writeAll(port->fileDescriptor(), &wake, 1);  // ends the echo's last read
    echo.join();
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
    const int trips = argc > 2 ? std::atoi(argv[2]) : 2000;
    const std::size_t total = megabytes * 1000000;

    const auto plainRead = [](VXSerialPort&, int fd, std::size_t n) { drain(fd, n); };
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

    std::printf("serial I/O through a pty: %zu MB per throughput run, %d round trips\n", megabytes,
                trips);
    const double plainIn = readThroughput(plainRead, total);
    const double blockingIn = readThroughput(blockingRead, total);
    const double backgroundIn = readThroughput(backgroundRead, total);
    const double plainOut = writeThroughput(plainWrite, total);
    const double blockingOut = writeThroughput(blockingWrite, total);
    const double backgroundOut = writeThroughput(backgroundWrite, total);
    std::printf("%-28s %10s %10s %7s\n", "throughput (MB/s)", "library", "plain", "ratio");
    std::printf("%-28s %10.1f %10.1f %7.2f\n", "read, blocking", blockingIn, plainIn,
                blockingIn / plainIn);
    std::printf("%-28s %10.1f %10.1f %7.2f\n", "read, background", backgroundIn, plainIn,
                backgroundIn / plainIn);
    std::printf("%-28s %10.1f %10.1f %7.2f\n", "write, blocking", blockingOut, plainOut,
                blockingOut / plainOut);
    std::printf("%-28s %10.1f %10.1f %7.2f\n", "write, background", backgroundOut, plainOut,
                backgroundOut / plainOut);

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
    const Latency plain = roundTrips(plainTrip, trips);
    const Latency blocking = roundTrips(blockingTrip, trips);
    std::printf("%-28s %10s %10s %7s\n", "1-byte round trip (us)", "library", "plain", "ratio");
    std::printf("%-28s %10.1f %10.1f %7.2f\n", "blocking, median", blocking.median, plain.median,
                blocking.median / plain.median);
    std::printf("%-28s %10.1f %10.1f %7.2f\n", "blocking, p99", blocking.p99, plain.p99,
                blocking.p99 / plain.p99);
    std::printf("targets: throughput ratio >= 0.90, round-trip ratio <= 1.10\n");
    return 0;
}
