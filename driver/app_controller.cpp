#include "driver/app_controller.h"

#include <pthread.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>

#include "driver/board_open_failure.h"
#include "driver/counting_calibration_loader.h"
#include "driver/errno_text.h"
#include "driver/logging_packet_handler.h"
#include "driver/packet_framer.h"
#include "driver/reader_wait.h"
#include "serial/run_loop.h"

namespace zorvan {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}  // namespace

AppController::AppController(Services services)
    : services_(std::move(services)), link_(services_.closeMessages) {
    if (!services_.warn) {
        services_.warn = [](std::string_view line) {
            std::fprintf(stderr, "zorvan: %.*s\n", static_cast<int>(line.size()), line.data());
        };
    }
    if (services_.packetHandler == nullptr) {
        ownHandler_ =
            std::make_unique<LoggingPacketHandler>([this](std::string_view line) { log(line); });
    }
    if (!services_.abandonReader) {
        services_.abandonReader = [warn = services_.warn] {
            warn(
                "the reader did not stop within 2 s (blocked on the settings file?); "
                "quitting without it");
            std::fflush(nullptr);
            std::_Exit(EXIT_SUCCESS);
        };
    }
    if (services_.calibrationLoader == nullptr) {
        ownLoader_ = std::make_unique<CountingCalibrationLoader>();
    }
    handler_ = services_.packetHandler ? services_.packetHandler : ownHandler_.get();
    loader_ = services_.calibrationLoader ? services_.calibrationLoader : ownLoader_.get();
}

AppController::~AppController() {
    alive_.reset();
    unsubscribeFromPortList();
    shutdown();
}

void AppController::awakeFromNib() {
    // The reader's wait is where the two signals are taken; here, on the
    // main thread, they stay blocked (a program blocks them before it starts
    // any thread, so that all its threads do).
    blockRunSignals();
    if (!installRunSignalHandlers()) {
        services_.warn("cannot install the SIGUSR1/SIGUSR2 handlers: " + errnoText(errno));
    }
    log("waiting for the board at " + services_.devicePath);
    startReaderThread();
    if (services_.subscribeHotPlug) {
        services_.subscribeHotPlug();
    }
}

bool AppController::startReaderThread() {
    // Signals that came while no reader waited for them act now.
    takePendingRunSignals();
    if (reader_.joinable()) {
        if (readerActive_.load()) {
            if (services_.runFlags.iRun.load(kRelaxed) >= 0) {
                return false;
            }
            // It saw iRun = -1 and ends within one turn, unless it waits for
            // this thread (the calibration alert): never wait for it here.
            if (services_.mainLoop != nullptr) {
                restartPending_ = true;
                return true;
            }
        }
        reader_.join();
    }
    restartPending_ = false;
    {
        // "Opening" until the new thread knows the outcome, so that nobody
        // starts a second reader meanwhile.
        std::lock_guard lock(openMutex_);
        opening_ = true;
        arrivedWhileOpening_ = false;
        services_.runFlags.iRun.store(0, kRelaxed);
    }
    readerActive_.store(true);
    reader_ = std::thread([this, loop = services_.mainLoop, alive = std::weak_ptr<int>(alive_)] {
        ThreadreadData();
        {
            std::lock_guard lock(readerEndMutex_);
            readerActive_.store(false);
        }
        readerEnded_.notify_all();
        if (loop != nullptr) {
            loop->post([this, alive] {
                if (alive.lock()) {
                    readerHasEnded();
                }
            });
        }
    });
    return true;
}

void AppController::readerHasEnded() {
    if (restartPending_ && !readerActive_.load()) {
        startReaderThread();
    }
}

void AppController::stopReader() {
    services_.runFlags.iRun.store(-1, kRelaxed);
    wake_.wake();
}

void AppController::statusChanged() {
    if (services_.statusChanged) {
        services_.statusChanged();
    }
}

void AppController::shutdown() {
    restartPending_ = false;
    stopReader();
    if (!reader_.joinable()) {
        return;
    }
    bool ended = false;
    {
        std::unique_lock lock(readerEndMutex_);
        ended =
            readerEnded_.wait_for(lock, kQuitPatience, [this] { return !readerActive_.load(); });
    }
    if (ended) {
        reader_.join();
        return;
    }
    services_.abandonReader();
    reader_.detach();
}

bool AppController::ReadSystemParam() {
    calibrationLoaded_ = true;
    return loader_->load();
}

void AppController::requestQuit() {
    if (services_.requestQuit) {
        services_.requestQuit();
    }
}

void AppController::log(std::string_view line) {
    if (services_.log) {
        services_.log(line);
    }
}

int AppController::calibrationLoads() const {
    const auto* counting = dynamic_cast<const CountingCalibrationLoader*>(loader_);
    return counting ? counting->calls() : 0;
}

void AppController::reportOpenFailure(int error) {
    // Said once; again only when the reason changes.
    if (error == reportedOpenError_) {
        return;
    }
    reportedOpenError_ = error;
    const std::string line = openFailureText(services_.devicePath, error);
    log(line);
    services_.warn(line);
}

std::optional<int> AppController::openBoard() {
    RunFlags& flags = services_.runFlags;
    for (;;) {
        const int fd = link_.InitSerialPort(services_.devicePath.c_str());
        const bool locked = fd < 0 && link_.lastOpenError() == kBoardLocked;
        if (locked) {
            // Two readers would split the board's bytes and neither would get
            // a whole packet: this one gives way, and says why.
            const std::string line = lockConflictText(services_.devicePath, link_.lockHolder());
            log(line);
            services_.warn(line);
            if (services_.requestExit) {
                services_.requestExit(1);
            }
        } else if (fd < 0) {
            reportOpenFailure(link_.lastOpenError());
        } else {
            reportedOpenError_ = 0;
        }

        bool stopped = false;
        {
            std::lock_guard lock(openMutex_);
            if (fd < 0 && !locked && arrivedWhileOpening_ && flags.iRun.load(kRelaxed) == 0) {
                // The board arrived while this attempt was failing (or pausing
                // after it), and no arrival may start a reader while this one
                // opens: this one tries again, as the reader the arrival would
                // have started.
                arrivedWhileOpening_ = false;
                takePendingRunSignals();
                flags.bRun.store(true, kRelaxed);
                continue;
            }
            opening_ = false;
            arrivedWhileOpening_ = false;
            // A stop asked for while the open was under way (iRun set to -1)
            // wins over the descriptor; otherwise the reader would run on unseen.
            std::int32_t expected = 0;
            stopped = !flags.iRun.compare_exchange_strong(expected, fd < 0 ? -1 : fd, kRelaxed);
        }
        if (!stopped) {
            return fd;
        }
        if (fd >= 0) {
            link_.CloseSerialPort(fd);
        }
        return std::nullopt;
    }
}

void AppController::ThreadreadData() {
    RunFlags& flags = services_.runFlags;
    // Taken only inside the reader's wait, whoever started this thread.
    blockRunSignals();
    // Named, so that a look at the process's threads tells which one woke.
    pthread_setname_np(pthread_self(), "zorvan-reader");
    const std::optional<int> opened = openBoard();
    if (!opened) {
        return;
    }
    flags.bNeedReadPara.store(true, kRelaxed);
    const int fd = *opened;
    if (fd < 0) {
        return;
    }
    log("board connected at " + services_.devicePath);
    statusChanged();
    runLoop(fd);
    link_.CloseSerialPort(fd);
    statusChanged();
}

bool AppController::waitWhilePaused(ProcessExitWatch& tool) {
    // Nothing is read and nothing is due: a signal, a stop or the tool's end
    // ends this wait (checked every kCheckInterval without a pidfd).
    std::optional<ReaderClock::time_point> check;
    if (tool.needsChecks()) {
        check = ReaderClock::now() + ProcessExitWatch::kCheckInterval;
    }
    if (!tool.hasEnded()) {
        waitForReader(-1, wake_.fd(), check, tool.fd());
    }
    const RunFlags& flags = services_.runFlags;
    return tool.hasEnded() && flags.iRun.load(kRelaxed) > 0 && !flags.bRun.load(kRelaxed);
}

void AppController::resumeForGoneTool(std::int64_t pid) {
    // The tool crashed or was killed before it could resume reading: left
    // paused, the board would be dead until the driver restarts.
    log(pid > 0 ? "the calibration tool (pid " + std::to_string(pid) +
                      ") has ended without resuming: reading the board again"
                : "the calibration tool that paused reading has gone: reading the board again");
    if (services_.pausingToolEnded) {
        services_.pausingToolEnded();
    }
    resumeReading(services_.runFlags);
}

void AppController::runLoop(int fd) {
    RunFlags& flags = services_.runFlags;
    std::int32_t iDownSkip = 0;
    PacketFramer framer;
    // Room for several packets: at full line rate more than one arrives
    // between two wake-ups, and all of them are handed over at once.
    std::array<std::uint8_t, 512> buffer{};
    // When the silence ends: kSilence after the last byte or handshake.
    ReaderClock::time_point silenceEnds = ReaderClock::now() + kSilence;
    // Set while paused; a pause does not count as silence.
    std::optional<ReaderClock::time_point> pausedSince;
    // A device that hung up without data answers every wait at once: it is
    // left out of the wait until the next silence, when it is tried again.
    bool boardHungUp = false;

    // While paused: the calibration tool the pause is for.
    std::optional<ProcessExitWatch> tool;

    while (flags.iRun.load(kRelaxed) > 0) {
        if (!flags.bRun.load(kRelaxed)) {
            if (!pausedSince) {
                pausedSince = ReaderClock::now();
                statusChanged();
                const std::int64_t pid = services_.pausingTool ? services_.pausingTool() : 0;
                tool.emplace(pid, services_.toolWatch);
                if (pid < 0) {
                    resumeForGoneTool(pid);
                    continue;
                }
            }
            if (waitWhilePaused(*tool)) {
                resumeForGoneTool(tool->pid());
            }
            continue;
        }
        tool.reset();
        if (pausedSince) {
            silenceEnds += ReaderClock::now() - *pausedSince;
            pausedSince.reset();
            // Touches made while paused were meant for the calibration tool
            // or for nobody: replayed now they would be clicks.
            BoardSerialLink::discardInput(fd);
            framer.clear();
            statusChanged();
        }
        const WaitResult result = waitForReader(boardHungUp ? -1 : fd, wake_.fd(), silenceEnds);
        if (result == WaitResult::Woken) {
            // A signal (SIGUSR1 also vouches for the calibration anew) or a
            // stop: the flags are read again at the top.
            statusChanged();
            continue;
        }
        if (result == WaitResult::Hangup) {
            boardHungUp = true;
            continue;
        }
        if (result == WaitResult::Readable) {
            const ssize_t received = ::read(fd, buffer.data(), buffer.size());
            if (received > 0) {
                framer.push(std::span(buffer.data(), static_cast<std::size_t>(received)),
                            [&](const Packet& packet) {
                                if (!calibrationLoaded_) {
                                    // Nothing loaded yet: a pen already on the
                                    // board, or a board that never falls silent,
                                    // would map every point to the top-left corner.
                                    flags.bNeedReadPara.store(false, kRelaxed);
                                    ReadSystemParam();
                                }
                                handler_->handlePacket(packet, iDownSkip);
                            });
                silenceEnds = ReaderClock::now() + kSilence;
            } else if (received == 0 || (errno != EAGAIN && errno != EINTR)) {
                // A hung-up terminal reads as end of file (or EIO) while
                // polling as readable: no bytes, and no spinning on it.
                boardHungUp = true;
            }
            continue;
        }
        // The silence: a contact still held would have sent samples all along.
        handler_->releaseHeldContact();
        // Cleared before the load, so that a SIGUSR1 during the load leaves
        // another load pending.
        if (flags.bNeedReadPara.exchange(false, kRelaxed)) {
            ReadSystemParam();
        }
        link_.WriteData(fd);
        // Bytes of one packet follow each other within milliseconds; what is
        // left over after 1.5 s of silence would only spoil the next.
        framer.clear();
        boardHungUp = false;
        silenceEnds = ReaderClock::now() + kSilence;
    }
    // Removed, gone or quitting: nothing will ever lift a press now.
    handler_->releaseHeldContact();
}

}  // namespace zorvan
