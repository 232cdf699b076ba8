#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "driver/board_serial_link.h"
#include "driver/calibration_loader.h"
#include "driver/log_writer.h"
#include "driver/packet_handler.h"
#include "driver/run_flags.h"

namespace zorvan {

inline constexpr const char* kDefaultBoardPath = "/dev/tty.SLAB_USBtoUART";

// The driver's controller: start-up, the reader thread and its loop.
//
// Reader run states (iRun):
//
//   0 (opening) --open ok--> fd > 0 (running) --iRun = -1--> closes board, ends
//        |                       ^  |
//        +--open failed--> -1    |  +-- bRun = 0: paused, board kept open
//                          (no reader; startReaderThread() begins again at 0)
//
// Threads: awakeFromNib(), startReaderThread() and shutdown() run on the main
// thread; ThreadreadData() runs on the one reader thread.
class AppController {
  public:
    struct Services {
        RunFlags& runFlags;
        std::string devicePath = kDefaultBoardPath;
        // Log view text; called from the reader thread too.
        LogWriter log{};
        // Problems the user must hear about (the board cannot be opened):
        // written here as well as to the log. Defaults to stderr.
        LogWriter warn{};
        // Receives every whole packet; null: log each packet.
        PacketHandler* packetHandler = nullptr;
        // Loads the calibration at a silence; null: only count the calls.
        CalibrationLoader* calibrationLoader = nullptr;
        // Ends the application (asked for by the calibration alert).
        std::function<void()> requestQuit{};
        // The last step of start-up: the hot-plug subscription.
        std::function<void()> subscribeHotPlug{};
        // Where the board's close diagnostics go.
        std::FILE* closeMessages = stdout;
        // Called by shutdown() when the reader has not ended within
        // kQuitPatience, stuck where no flag reaches it (an open() or read()
        // of a settings file on a stalled network home). Default: say so and
        // end the process at once, without destructors, since everything
        // the reader uses would be freed under it. One that returns leaves
        // the reader detached, and the caller must keep alive what it uses.
        std::function<void()> abandonReader{};
    };

    // Timing of the reader loop.
    static constexpr auto kTurn = std::chrono::milliseconds(5);
    static constexpr auto kPausedTurn = std::chrono::milliseconds(10);
    static constexpr std::int32_t kIdleLimit = 300;
    // How long quitting waits for the reader to end.
    static constexpr auto kQuitPatience = std::chrono::seconds(2);

    explicit AppController(Services services);
    ~AppController();  // calls shutdown()
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    // Start-up: installs the SIGUSR1 and SIGUSR2 handlers, starts the reader
    // thread, then runs the hot-plug subscription.
    void awakeFromNib();

    // Starts a reader thread, after joining a previous one that has ended or
    // is ending (iRun < 0). Returns false, starting nothing, while a reader
    // is opening or running.
    bool startReaderThread();

    // Stops the reader (iRun = -1), waits for it to close the board and end,
    // for at most kQuitPatience (then abandonReader). Idempotent; called when
    // the application quits.
    void shutdown();

    // The reader thread's body: open, poll, frame, hand over packets, load
    // the calibration and send the handshake at silences, close. The very
    // first packet of the process waits for a load if none was made yet. Run through
    // startReaderThread(), which sets iRun = 0 first: a stop (iRun = -1) that
    // comes while the board is being opened then wins over the descriptor.
    void ThreadreadData();

    // The calibration load at a silence.
    bool ReadSystemParam();

    void requestQuit();
    void log(std::string_view line);

    RunFlags& runFlags() { return services_.runFlags; }
    const std::string& devicePath() const { return services_.devicePath; }
    // The stand-in loader's count (0 when a real loader was given).
    int calibrationLoads() const;

  private:
    void reportOpenFailure(int error);
    void runLoop(int fd);

    Services services_;
    std::unique_ptr<PacketHandler> ownHandler_;
    std::unique_ptr<CalibrationLoader> ownLoader_;
    PacketHandler* handler_;
    CalibrationLoader* loader_;
    BoardSerialLink link_;

    std::thread reader_;
    std::atomic<bool> readerActive_{false};
    // Told when a reader thread has ended.
    std::mutex readerEndMutex_;
    std::condition_variable readerEnded_;
    static_assert(std::atomic<bool>::is_always_lock_free);
    // Whether any calibration load has been made; until then the first packet
    // waits for one. Only reader threads touch it, one after the other.
    bool calibrationLoaded_ = false;
    // Reason of the last open failure told to the user; only reader threads
    // touch it, one after the other (each joined before the next starts).
    int reportedOpenError_ = 0;
};

}  // namespace zorvan
