// Drives the reader through a pseudo-terminal at the board's full line rate
// (19200 baud 8N1, one byte every ~0.52 ms) and prints how long each packet
// takes from its last byte written to its arrival at the PacketHandler, and
// how many packets were lost or misframed.
//
// usage: zorvan-bench-reader-latency [PACKETS]   (default 2400, about 10 s)

#include <fcntl.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver/app_controller.h"

namespace {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC, as the pacing below
constexpr long kByteNanoseconds = 10L * 1'000'000'000L / 19200;

// Packet i carries i in its two coordinates, so that every arrival can be
// matched with its sending.
zorvan::Packet packetFor(std::uint32_t i) {
    return {zorvan::Data_Head,
            0x00,
            0x51,
            static_cast<std::uint8_t>((i >> 18) & 0x3F),
            static_cast<std::uint8_t>((i >> 12) & 0x3F),
            static_cast<std::uint8_t>((i >> 6) & 0x3F),
            static_cast<std::uint8_t>(i & 0x3F),
            0x00};
}

class TimingHandler final : public zorvan::PacketHandler {
  public:
    explicit TimingHandler(std::size_t count) : arrivedAt(count) {}
    void handlePacket(const zorvan::Packet& packet, std::int32_t&) override {
        const auto now = Clock::now();
        const std::uint32_t i = (packet[3] & 0x3Fu) << 18 | (packet[4] & 0x3Fu) << 12 |
                                (packet[5] & 0x3Fu) << 6 | (packet[6] & 0x3Fu);
        if (i >= arrivedAt.size() || packet != packetFor(i) || arrivedAt[i]) {
            ++misframed;
            return;
        }
        arrivedAt[i] = now;
    }
    std::vector<std::optional<Clock::time_point>> arrivedAt;
    std::size_t misframed = 0;
};

void sleepUntil(timespec& at, long addNanoseconds) {
    at.tv_nsec += addNanoseconds;
    while (at.tv_nsec >= 1'000'000'000L) {
        at.tv_nsec -= 1'000'000'000L;
        ++at.tv_sec;
    }
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0) {
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2400;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("pseudo-terminal");
        return 1;
    }
    zorvan::RunFlags flags;
    TimingHandler handler(count);
    zorvan::AppController controller(
        {.runFlags = flags, .devicePath = ::ptsname(master), .packetHandler = &handler});
    controller.startReaderThread();
    while (flags.iRun.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (flags.iRun.load() < 0) {
        std::fprintf(stderr, "the reader could not open %s\n", ::ptsname(master));
        return 1;
    }

    std::vector<Clock::time_point> sentAt(count);
    timespec at{};
    ::clock_gettime(CLOCK_MONOTONIC, &at);
    const auto start = Clock::now();
    for (std::size_t i = 0; i < count; ++i) {
        const zorvan::Packet packet = packetFor(static_cast<std::uint32_t>(i));
        for (const std::uint8_t byte : packet) {
            sleepUntil(at, kByteNanoseconds);
            if (::write(master, &byte, 1) != 1) {
                std::perror("write");
                return 1;
            }
        }
        sentAt[i] = Clock::now();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    controller.shutdown();  // joins the reader: its records are ours now

    std::vector<double> latencies;
    for (std::size_t i = 0; i < count; ++i) {
        if (handler.arrivedAt[i]) {
            latencies.push_back(
                std::chrono::duration<double, std::micro>(*handler.arrivedAt[i] - sentAt[i])
                    .count());
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at_ = [&](double q) {
        return latencies.empty()
                   ? 0.0
                   : latencies[std::min(latencies.size() - 1,
                                        static_cast<std::size_t>(q * latencies.size()))];
    };
    std::printf("reader latency over a pty at 19200 baud 8N1\n");
    std::printf("  packets sent      %zu in %.2f s (%.0f packets/s)\n", count, seconds,
                count / seconds);
    std::printf("  latency median    %.0f us\n", at_(0.5));
    std::printf("  latency p99       %.0f us\n", at_(0.99));
    std::printf("  latency max       %.0f us\n", latencies.empty() ? 0.0 : latencies.back());
    std::printf("  lost              %zu\n", count - latencies.size());
    std::printf("  misframed         %zu\n", handler.misframed);
    ::close(master);
    return 0;
}
