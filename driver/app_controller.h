#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver/board_serial_link.h"
#include "driver/calibration_loader.h"
#include "driver/log_writer.h"
#include "driver/packet_handler.h"
#include "driver/process_exit_watch.h"
#include "driver/reader_wake.h"
#include "driver/run_flags.h"

namespace zorvan::serial {
class RunLoop;
class VXSerialPort;
class VXSerialPortList;
struct PortListNotification;
}  // namespace zorvan::serial

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
//
// The reader sleeps until something it reacts to happens: bytes from the
// board, the silence deadline (kSilence after the last byte or handshake),
// SIGUSR1 or SIGUSR2 (which only it unblocks, inside its wait), or a wake
// after iRun changed (wakeReader()). A paused reader waits for the last two
// only, and for the end of the calibration tool it is paused for.
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
        // Ends the application with a failure status: another driver reads
        // the board. Null: the reader only stops.
        std::function<void(int exitCode)> requestExit{};
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
        // The main thread's loop. With it, the pause after the board arrives
        // is a timer, and a new reader asked for while the previous one is
        // still ending starts when that one has ended (its end is posted
        // here). Without it, the pause is a sleep and the new reader joins
        // the previous one first.
        serial::RunLoop* mainLoop = nullptr;
        // Where "Add!!" is printed when the board arrives.
        std::FILE* arrivalMessages = stdout;
        // Called on the reader thread when what the window shows of the
        // reader may have changed: opened, paused, resumed, woken by a
        // signal, ended. Must not block.
        std::function<void()> statusChanged{};
        // Called on the reader thread as a pause begins: the pid of the
        // calibration tool it is for, whose end (a crash, SIGKILL) then
        // resumes reading as the tool's SIGUSR1 would have. 0: none known,
        // the pause lasts until SIGUSR1; negative: that tool has already gone.
        std::function<std::int64_t()> pausingTool{};
        // Called on the reader thread when that tool has ended with reading
        // still paused, just before reading resumes.
        std::function<void()> pausingToolEnded{};
        // How that end is noticed: a pidfd, or checks where the kernel has none.
        ProcessExitWatch::Mode toolWatch = ProcessExitWatch::Mode::Pidfd;
    };

    // The board's silence after which the pending calibration is loaded and
    // the handshake sent, and again after each handshake while it lasts
    // (301 polls of 5 ms, as the board and the calibration tool know it).
    static constexpr auto kSilence = std::chrono::microseconds(1'505'000);
    // The pause between the board's arrival and the new reader.
    static constexpr auto kArrivalPause = std::chrono::milliseconds(100);
    // How long quitting waits for the reader to end.
    static constexpr auto kQuitPatience = std::chrono::seconds(2);

    explicit AppController(Services services);
    ~AppController();  // calls shutdown()
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    // Start-up: installs the SIGUSR1 and SIGUSR2 handlers, starts the reader
    // thread, then runs the hot-plug subscription.
    void awakeFromNib();

    // Starts a reader thread. A previous one that has ended is joined; one
    // that is still ending (iRun < 0) is, with a main loop, left to end, and
    // the new one starts from the main loop once it has (never two at once);
    // without a main loop it is joined. Returns false, starting nothing,
    // while a reader is opening or running.
    bool startReaderThread();

    // --- Hot-plug (hot_plug.cpp); main thread ---------------------------------

    // Observes list's arrivals and removals, until this controller ends; the
    // last step of start-up.
    void subscribeToPortList(serial::VXSerialPortList& list);
    // Logs the batch; when one of its ports is the board, prints "Add!!" and,
    // after kArrivalPause, starts a reader with bRun = 1 if none runs (one
    // still opening the board tries again instead, should its open fail).
    void didAddPorts(const serial::PortListNotification& notification);
    // Logs "didRemovePorts:"; when one of the batch's ports is the board,
    // stops the reader (iRun = -1) without waiting for it.
    void didRemovePorts(const serial::PortListNotification& notification);
    // Logs deviceListing(list), a line each.
    void listDevices(serial::VXSerialPortList& list);
    // "name:path" for each port of list, in list order.
    static std::vector<std::string> deviceListing(serial::VXSerialPortList& list);
    // The board's port: with the default device path, the port named
    // "SLAB_USBtoUART" at "/dev/cu.SLAB_USBtoUART"; with another path, the
    // port whose path, device node or one of whose links is that path or
    // what its symlinks lead to.
    bool isBoardPort(const serial::VXSerialPort& port) const;

    // Makes the reader read the run flags again now (after a change of iRun
    // or bRun made outside a signal handler). Any thread.
    void wakeReader() { wake_.wake(); }

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
    // Opens the board and publishes the outcome in iRun: the descriptor, or
    // -1 when the open failed. Nothing when a stop came during the open.
    std::optional<int> openBoard();
    void reportOpenFailure(int error);
    void readerHasEnded();
    void unsubscribeFromPortList();
    void afterBoardArrival();
    // The board's port in a removal: also by the path it was last seen at.
    bool isBoardPortOfBatch(const serial::VXSerialPort& port) const;
    void runLoop(int fd);
    // A paused turn: waits for a signal, a stop or the end of `tool`. True
    // when the tool has ended and reading is still paused.
    bool waitWhilePaused(ProcessExitWatch& tool);
    // Resumes reading as SIGUSR1 does, for a tool (pid) that cannot any more.
    void resumeForGoneTool(std::int64_t pid);
    void statusChanged();
    void stopReader();

    Services services_;
    std::unique_ptr<PacketHandler> ownHandler_;
    std::unique_ptr<CalibrationLoader> ownLoader_;
    PacketHandler* handler_;
    CalibrationLoader* loader_;
    BoardSerialLink link_;
    ReaderWake wake_;

    std::thread reader_;
    std::atomic<bool> readerActive_{false};
    // Told when a reader thread has ended.
    std::mutex readerEndMutex_;
    std::condition_variable readerEnded_;
    // Whether a reader is still opening the board (iRun = 0), and whether the
    // board arrived meanwhile; the reader decides under the lock whether to
    // try again or to publish its outcome, so an arrival is never lost.
    std::mutex openMutex_;
    bool opening_ = false;
    bool arrivedWhileOpening_ = false;
    // Main thread only: a reader asked for while the previous one was ending.
    bool restartPending_ = false;
    // Main thread only: the path of the port last seen as the board's (a
    // removal can no longer ask the system about the device).
    std::string boardPortPath_;
    // The list observed, and the observers to take back at the end.
    serial::VXSerialPortList* portList_ = nullptr;
    std::vector<std::uint64_t> portObservers_;
    // Tasks posted to the main loop run only while this lives.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    static_assert(std::atomic<bool>::is_always_lock_free);
    // Whether any calibration load has been made; until then the first packet
    // waits for one. Only reader threads touch it, one after the other.
    bool calibrationLoaded_ = false;
    // Reason of the last open failure told to the user; only reader threads
    // touch it, one after the other (each joined before the next starts).
    int reportedOpenError_ = 0;
};

}  // namespace zorvan
