#include "app/board_driver.h"

#include <unistd.h>

#include <QFile>
#include <QGuiApplication>
#include <QSettings>
#include <cstdio>
#include <utility>

#include "calibration/zorvan_pid.h"
#include "driver/calibration_alert.h"
#include "driver/run_flags.h"
#include "platform/machine_wide_settings.h"
#include "platform/qt_screens.h"
#include "platform/qt_translations.h"
#include "platform/randr_screens.h"
#include "platform/settings_file_update.h"
#include "serial/vx_serial_port_list.h"

namespace zorvan::app {

namespace {

// The store as the program starts, read on the GUI thread before the reader
// (which owns the driver's own store object) exists; the machine-wide file
// stands behind it as it does behind the reader's.
SettingsStore& startPrefs() {
    static QSettingsStore own;
    static QSettingsStore machineWide(QString::fromStdString(machineWideSettingsPath()),
                                      QSettingsStore::WhenMissing::Quiet);
    static FallbackSettingsStore prefs(own, machineWide);
    return prefs;
}

// On X11 the server's own monitor list, which follows every change; elsewhere
// (Wayland) Qt's screens.
std::vector<ScreenInfo> desktopScreens() {
    if (QGuiApplication::platformName() == "xcb") {
        const RandrScreens randr;
        if (randr.usable()) {
            return randr.screens();
        }
    }
    return currentScreens();
}

}  // namespace

int listScreens(const std::string& requested) {
    const std::vector<ScreenInfo> screens = desktopScreens();
    const std::string name = requestedScreen(startPrefs(), requested);
    std::fputs(screenListText(screens, name).c_str(), stdout);
    const BoardScreen board = chooseBoardScreen(screens, name);
    if (!board.missing.empty()) {
        std::fprintf(
            stderr, "zorvan: screen \"%s\" is not connected; the board covers %s\n",
            board.missing.c_str(),
            board.name.empty() ? "no screen" : ("the primary screen " + board.name).c_str());
    }
    return 0;
}

BoardDriver::BoardDriver(Options options) : log_(options.log), screenOverride_(options.screen) {
    processes_.setReport([this](const std::string& line) {
        if (log_) {
            log_(line);
        }
    });
    // The tool calibrates this driver's board, on the screen named for this
    // run if any, and pauses this driver, even when another driver published
    // its pid last.
    const std::vector<std::string> toolArguments =
        CalivoLauncher::launchArguments(options.devicePath, ::getpid(), options.screen);
    launcher_ =
        std::make_unique<CalivoLauncher>(prefs_, processes_, ownExecutablePath(), toolArguments);
    menuLauncher_ = std::make_unique<CalivoLauncher>(menuPrefs_, processes_, ownExecutablePath(),
                                                     toolArguments);

    // On X11 the server's own monitor list, which follows every change (Qt's
    // screens miss some); elsewhere (Wayland) Qt's screens.
    const BoardScreenSource* source = &screens_;
    if (QGuiApplication::platformName() == "xcb") {
        randr_ = std::make_unique<RandrScreens>();
        if (randr_->usable()) {
            source = randr_.get();
        }
    }
    // The pointer starts on the board's screen as it is now; each calibration
    // load places it anew.
    const BoardScreen board = source->boardScreen(requestedScreen(startPrefs(), options.screen));
    PointerSinkChoice pointer =
        choosePointerSink(options.pointer, board.placement, options.pointerLog);
    sink_ = std::move(pointer.sink);
    startFailure_ = std::move(pointer.refusal);
    if (startFailure_.empty()) {
        // Which backend serves the pointer matters when nothing moves: say it
        // on stderr as well as in the log view.
        std::fprintf(stderr, "zorvan: %s\n", pointer.description.c_str());
        if (log_) {
            log_(pointer.description);
        }
    }

    input_ = std::make_unique<BoardInput>(*sink_, [this] { launcher_->startCalivo(); });
    status_.onChange = [this] { statusChanged(); };
    input_->publishStatusTo(&status_);
    RunFlags& flags = processRunFlags();
    const std::function<void()> requestQuit = options.requestQuit;
    loader_ = std::make_unique<StoredCalibrationLoader>(
        input_->tables(), prefs_,
        StoredCalibrationLoader::ScreenFollowing{
            .screens = *source,
            .sink = *sink_,
            .screenOverride = options.screen,
            .log = options.log,
        },
        static_cast<std::int64_t>(::getpid()), flags.bGet,
        [this, requestQuit] { ShowAlert(localizedString, alerts_, *launcher_, requestQuit); },
        options.log,
        [log = options.log](std::string_view line) {
            std::fprintf(stderr, "zorvan: %.*s\n", static_cast<int>(line.size()), line.data());
            if (log) {
                log(line);
            }
        });
    loader_->publishStatusTo(&status_);
    loader_->fallBackTo(machineWidePrefs_,
                        QFile::encodeName(machineWidePrefs_.fileName()).toStdString(),
                        QFile::encodeName(prefs_.fileName()).toStdString());
    // Say now which screen the board covers, not only at the first load.
    loader_->chooseScreen(startPrefs());
    // A screen added, removed, resized or moved takes effect at a load: have
    // one at the board's next silence instead of waiting for a recalibration.
    screens_.setOnChange([&flags] { flags.bNeedReadPara.store(true, std::memory_order_relaxed); });

    controller_ = std::make_unique<AppController>(AppController::Services{
        .runFlags = flags,
        .devicePath = std::move(options.devicePath),
        .log = std::move(options.log),
        .packetHandler = input_.get(),
        .calibrationLoader = loader_.get(),
        .requestQuit = options.requestQuit,
        .requestExit = options.requestExit,
        // Part of start-up: the shared port list is made here, on the GUI
        // thread, whose loop delivers its changes.
        .subscribeHotPlug =
            [this] {
                controller_->subscribeToPortList(serial::VXSerialPortList::sharedPortList());
            },
        .mainLoop = options.mainLoop,
        .statusChanged = [this] { statusChanged(); },
        .pausingTool = [this] { return pausingTool(); },
        .pausingToolEnded = [this] { withdrawGoneTool(); },
    });
}

std::int64_t BoardDriver::pausingTool() {
    // The tool publishes its pid before it pauses the driver; one started
    // here is known from its launch even if it could not publish.
    prefs_.synchronize();
    const std::int64_t published = prefs_.integerForKey("CalivoPid");
    for (const std::int64_t pid : {published, processes_.lastLaunchedPid()}) {
        if (plausiblePeerPid(pid) && processes_.isCalibrationTool(pid)) {
            return pid;
        }
    }
    // A published tool that runs no more died between its pause and now.
    return plausiblePeerPid(published) ? -1 : 0;
}

void BoardDriver::withdrawGoneTool() {
    // What the tool would have done on its way out: no stale pid for the
    // next calibration request to trip over.
    prefs_.synchronize();
    const std::int64_t published = prefs_.integerForKey("CalivoPid");
    if (published != 0 &&
        !(plausiblePeerPid(published) && processes_.isCalibrationTool(published))) {
        prefs_.setIntegerForKey(0, "CalivoPid");
        prefs_.synchronize();
    }
}

void BoardDriver::statusChanged() {
    // Reader thread. A reader that has ended leaves no mode behind: the
    // board that comes next reports its own.
    status_.publishBoardOpen(processRunFlags().iRun.load(std::memory_order_relaxed) > 0);
    if (statusListener_) {
        statusListener_();
    }
}

BoardDriver::~BoardDriver() {
    // The reader uses everything below; it ends first.
    stop();
}

void BoardDriver::stop() {
    if (stopped_ || !controller_) {
        return;
    }
    stopped_ = true;
    controller_->shutdown();
    // A store of its own: the reader's belongs to the reader thread.
    QSettingsStore prefs;
    clearZorvanPid(prefs, static_cast<std::int64_t>(::getpid()));
}

void BoardDriver::listDevices() {
    controller_->listDevices(serial::VXSerialPortList::sharedPortList());
}

void BoardDriver::btnCheck() {
    input_->btnCheck();
    if (log_) {
        log_("soft keys re-armed: holding a soft key asks for calibration again");
    }
}

void BoardDriver::calibrate() {
    if (log_) {
        log_("calibration asked for from the menu");
    }
    menuLauncher_->startCalivo();
}

std::vector<ScreenInfo> BoardDriver::screens() const {
    return desktopScreens();
}

std::string BoardDriver::boardScreenName() {
    menuPrefs_.synchronize();
    return chooseBoardScreen(desktopScreens(), requestedScreen(menuPrefs_, screenOverride_)).name;
}

bool BoardDriver::chooseScreen(const std::string& name) {
    // Never through QSettings on the shared file itself: see
    // updateSettingsFile().
    const SettingsFileUpdate saved =
        updateSettingsFile(menuPrefs_.fileName(), [&name](QSettings& settings) {
            settings.setValue(kScreenKey, QString::fromStdString(name));
        });
    if (saved.status != SettingsFileUpdate::Status::Done) {
        const std::string line = "cannot save the board's screen " + name + ": " + saved.reason;
        std::fprintf(stderr, "zorvan: %s\n", line.c_str());
        if (log_) {
            log_(line);
        }
        return false;
    }
    if (log_) {
        log_(screenOverride_.empty()
                 ? "board screen chosen from the menu: " + name
                 : "board screen " + name + " saved for the next runs; this run keeps --screen " +
                       screenOverride_);
    }
    processRunFlags().bNeedReadPara.store(true, std::memory_order_relaxed);
    return true;
}

}  // namespace zorvan::app
