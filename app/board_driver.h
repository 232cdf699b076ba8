#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/app_controller.h"
#include "driver/board_input.h"
#include "driver/board_status.h"
#include "driver/calivo_launcher.h"
#include "driver/stored_calibration_loader.h"
#include "platform/machine_wide_settings.h"
#include "platform/pointer_backend.h"
#include "platform/posix_process_control.h"
#include "platform/qsettings_store.h"
#include "platform/qt_alert_presenter.h"
#include "platform/qt_main_display.h"
#include "platform/randr_screens.h"
#include "platform/screen_layout.h"

namespace zorvan::app {

// Everything between the board and the pointer, put together for the real
// program: the settings file shared with the calibration tool, the main
// display, the chosen pointer backend, the calibration-tool launcher and
// alert, the packet road and the controller that runs the reader thread.
// Made on the GUI thread once the application object exists.
class BoardDriver {
  public:
    struct Options {
        std::string devicePath = kDefaultBoardPath;
        PointerBackend pointer = PointerBackend::Auto;
        std::string pointerLog;  // empty: stdout
        std::string screen;      // the board's screen by name; empty: the stored choice
        LogWriter log;           // the log view (thread-safe)
        std::function<void()> requestQuit;
        std::function<void(int exitCode)> requestExit;
        // The GUI thread's loop, where the serial port list reports the
        // board coming and going.
        serial::RunLoop* mainLoop = nullptr;
    };

    explicit BoardDriver(Options options);
    ~BoardDriver();
    BoardDriver(const BoardDriver&) = delete;
    BoardDriver& operator=(const BoardDriver&) = delete;

    // Not empty when the driver cannot run as asked (a pointer backend named
    // on the command line that cannot be used): the reason and the cure.
    const std::string& startFailure() const { return startFailure_; }

    // Start-up of the controller: signal handlers, then the reader thread.
    void start() { controller_->awakeFromNib(); }
    // Told, on the reader thread, whenever status() may have changed. Set it
    // before start(); it must not block.
    void setStatusListener(std::function<void()> listener) {
        statusListener_ = std::move(listener);
    }
    // Stops the reader, closes the board and takes back "ZorvanPid" if it is
    // still this process's; safe to call more than once.
    void stop();

    // The window's actions, on the GUI thread; each says in the log what it did.
    void listDevices();
    void btnCheck();
    void calibrate();

    // The board as the window shows it; GUI thread.
    BoardStatusSnapshot status() const { return takeSnapshot(processRunFlags(), status_); }

    // The screens of the desktop now; GUI thread.
    std::vector<ScreenInfo> screens() const;
    // The screen named for this run on the command line; empty: none.
    const std::string& screenOverride() const { return screenOverride_; }
    // The screen the board covers now: the command line's, else the saved
    // choice, else the primary. GUI thread.
    std::string boardScreenName();
    // Saves `name` as the board's screen ("Screen") and has the reader take
    // it at its next load, at the board's next pause. Says in the log what
    // it did; false when the choice could not be saved. GUI thread.
    bool chooseScreen(const std::string& name);

    AppController& controller() { return *controller_; }

  private:
    void statusChanged();
    // Reader thread: the calibration tool a pause is for (see
    // AppController::Services::pausingTool), and the clean-up after it died.
    std::int64_t pausingTool();
    void withdrawGoneTool();

    LogWriter log_;
    QtMainDisplay screens_;
    std::unique_ptr<RandrScreens> randr_;
    QSettingsStore prefs_;
    // Read behind prefs_ by the reader's loads, never written.
    QSettingsStore machineWidePrefs_{QString::fromStdString(machineWideSettingsPath()),
                                     QSettingsStore::WhenMissing::Quiet};
    PosixProcessControl processes_;
    QtAlertPresenter alerts_;
    BoardStatus status_;
    std::unique_ptr<CalivoLauncher> launcher_;
    // The menu's own launcher and store: the reader's are touched only on
    // the reader thread.
    QSettingsStore menuPrefs_;
    std::unique_ptr<CalivoLauncher> menuLauncher_;
    std::unique_ptr<MouseEventSink> sink_;
    std::unique_ptr<BoardInput> input_;
    std::unique_ptr<StoredCalibrationLoader> loader_;
    std::unique_ptr<AppController> controller_;
    std::string startFailure_;
    std::string screenOverride_;
    bool stopped_ = false;
    std::function<void()> statusListener_;
};

// zorvan --list-screens: one line per screen on stdout; `requested` marks the
// board's. Needs the application object. Returns the exit status.
int listScreens(const std::string& requested);

}  // namespace zorvan::app
