// The double click is timed with clock(), the processor time of the whole
// driver process, not elapsed time. This runs a stand-in of the reader loop
// (poll() for up to 5 ms on a pseudo-terminal, read, frame, decode, gesture
// engine, event log on /dev/null) first idle and then while a pen stroke
// arrives at the board's full rate, and prints how fast clock() advances per
// elapsed second in each phase, and so how long the 10000-tick window lasts.
//
// Usage: zorvan-bench-double-click-window [seconds per phase, default 3]

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "calibration/calibration_tables.h"
#include "driver/packet.h"
#include "pointer/gesture_engine.h"
#include "pointer/log_sink.h"

namespace {

using Clock = std::chrono::steady_clock;
using zorvan::ScreenPoint;

constexpr double kPacketsPerSecond = 240.0;
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

[[noreturn]] void die(const char* what) {
    std::perror(what);
    std::exit(1);
}

double threadCpuSeconds(pthread_t thread) {
    clockid_t id;
    timespec ts{};
    if (pthread_getcpuclockid(thread, &id) != 0 || clock_gettime(id, &ts) != 0) {
        return 0.0;
    }
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

zorvan::Packet dataPacket(std::uint8_t code, int a, int b) {
    return zorvan::makeDataPacket(code, a, b);
}

struct Reader {
    int fd;
    std::atomic<bool> run{true};
    std::atomic<long> packets{0};
    std::atomic<long> events{0};

    void loop() {
        zorvan::CalibrationTables tables;
        const bool bTouch = false;  // pen mode
        std::FILE* devNull = std::fopen("/dev/null", "w");
        if (devNull == nullptr) {
            die("/dev/null");
        }
        struct CountingLog : zorvan::LogSink {
            CountingLog(std::FILE* f, std::atomic<long>& n) : LogSink(f, "/dev/null"), count(n) {}
            void post(const zorvan::MouseEvent& e) override {
                LogSink::post(e);
                count.fetch_add(1, std::memory_order_relaxed);
            }
            std::atomic<long>& count;
        } sink(devNull, events);
        zorvan::GestureEngine engine(
            [](float x, float y) {
                return ScreenPoint{x * kScreenWidth / 4096.0f, y * kScreenHeight / 4096.0f};
            },
            tables, bTouch, sink);

        std::array<std::uint8_t, 512> buffer{};
        std::vector<std::uint8_t> pending;
        while (run.load(std::memory_order_relaxed)) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0 || (p.revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n <= 0) {
                continue;
            }
            pending.insert(pending.end(), buffer.begin(), buffer.begin() + n);
            std::size_t at = 0;
            while (pending.size() - at >= 8) {
                if (pending[at] != 0xEE) {
                    ++at;  // resynchronise on the packet head
                    continue;
                }
                const std::uint8_t* b = &pending[at];
                const float a = static_cast<float>((b[3] & 0x3F) * 64 + (b[4] & 0x3F));
                const float c = static_cast<float>((b[5] & 0x3F) * 64 + (b[6] & 0x3F));
                if (b[2] == 0x51 || b[2] == 0x61) {
                    engine.BoardMouse(a, c, b[2] == 0x51);
                }
                packets.fetch_add(1, std::memory_order_relaxed);
                at += 8;
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
        }
        std::fclose(devNull);
    }
};

// A pen stroke at the board's rate: downs sweeping across the board, an up
// at the end, and again, until the phase ends.
void feed(int master, Clock::time_point end) {
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / kPacketsPerSecond));
    auto next = Clock::now();
    for (long i = 0; Clock::now() < end; ++i) {
        const long step = i % 480;  // a two-second stroke
        const int x = 500 + static_cast<int>(step) * 6;
        const int y = 2000 + static_cast<int>(400 * std::sin(static_cast<double>(step) / 40.0));
        const auto packet = dataPacket(step == 479 ? 0x61 : 0x51, x, y);
        if (::write(master, packet.data(), packet.size()) != 8) {
            die("write to the pseudo-terminal");
        }
        next += period;
        std::this_thread::sleep_until(next);
    }
}

struct Sample {
    Clock::time_point wall;
    std::clock_t process;
    double reader;
    double feeder;
};

void report(const char* phase, const Sample& a, const Sample& b, long packets, long events) {
    const double elapsed = std::chrono::duration<double>(b.wall - a.wall).count();
    const double ticks = static_cast<double>(b.process - a.process);
    const double ticksPerSecond = ticks / elapsed;
    const double readerTicksPerSecond = (b.reader - a.reader) * CLOCKS_PER_SEC / elapsed;
    const double feederTicksPerSecond = (b.feeder - a.feeder) * CLOCKS_PER_SEC / elapsed;
    const double processLessFeeder = ticksPerSecond - feederTicksPerSecond;
    auto window = [](double perSecond) { return perSecond > 0 ? 10000.0 / perSecond : INFINITY; };
    std::printf("%-7s %8.2f %9ld %9ld %12.0f %12.0f %12.0f %14.2f %14.2f\n", phase, elapsed,
                packets, events, ticksPerSecond, readerTicksPerSecond, processLessFeeder,
                window(ticksPerSecond), window(processLessFeeder));
}

}  // namespace

int main(int argc, char** argv) {
    const double phaseSeconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    if (!(phaseSeconds > 0)) {
        std::fprintf(stderr, "usage: %s [seconds per phase]\n", argv[0]);
        return 2;
    }
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        die("posix_openpt");
    }
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) {
        die("open the pseudo-terminal");
    }
    termios raw{};
    if (::tcgetattr(slave, &raw) != 0) {
        die("tcgetattr");
    }
    ::cfmakeraw(&raw);
    if (::tcsetattr(slave, TCSANOW, &raw) != 0) {
        die("tcsetattr");
    }

    Reader reader{slave};
    std::thread readerThread([&] { reader.loop(); });
    auto sample = [&](double feederCpu) {
        return Sample{Clock::now(), std::clock(), threadCpuSeconds(readerThread.native_handle()),
                      feederCpu};
    };

    std::printf("CLOCKS_PER_SEC %ld; double-click window %.0f ticks; %.0f packets/s in a stroke\n",
                static_cast<long>(CLOCKS_PER_SEC), zorvan::Time_Double_Click, kPacketsPerSecond);
    std::printf("%-7s %8s %9s %9s %12s %12s %12s %14s %14s\n", "phase", "elapsed", "packets",
                "events", "clock/s", "reader/s", "driver/s", "window_s", "window_drv_s");

    // Idle: the reader polls an empty line.
    const Sample idle0 = sample(0.0);
    std::this_thread::sleep_for(std::chrono::duration<double>(phaseSeconds));
    const Sample idle1 = sample(0.0);
    report("idle", idle0, idle1, reader.packets.load(), reader.events.load());

    // Stroke: packets at the board's rate from another thread.
    const long packets0 = reader.packets.load();
    const long events0 = reader.events.load();
    std::atomic<double> feederCpu{0.0};
    const Sample stroke0 = sample(0.0);
    std::thread feeder([&] {
        feed(master, Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(phaseSeconds)));
        feederCpu = threadCpuSeconds(pthread_self());
    });
    feeder.join();
    const Sample stroke1 = sample(feederCpu.load());
    report("stroke", stroke0, stroke1, reader.packets.load() - packets0,
           reader.events.load() - events0);

    reader.run = false;
    readerThread.join();
    ::close(slave);
    ::close(master);
    std::printf(
        "clock/s: clock() ticks per elapsed second, whole process (the feeder thread "
        "included);\nreader/s: the reader thread alone; driver/s: the process without the "
        "feeder, as in the real driver.\nwindow_s and window_drv_s: elapsed seconds that "
        "10000 ticks last at those rates.\n");
    return 0;
}
