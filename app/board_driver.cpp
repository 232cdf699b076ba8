#include "app/board_driver.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

#include "calibration/zorvan_pid.h"
#include "driver/calibration_alert.h"
#include "driver/run_flags.h"
#include "platform/qt_translations.h"
#include "serial/vx_serial_port_list.h"

namespace zorvan::app {

BoardDriver::BoardDriver(Options options) : log_(options.log) {
    processes_.setReport([this](const std::string& line) {
        if (log_) {
            log_(line);
        }
    });
    launcher_ = std::make_unique<CalivoLauncher>(prefs_, processes_, ownExecutablePath());
    menuLauncher_ = std::make_unique<CalivoLauncher>(menuPrefs_, processes_, ownExecutablePath());

    PointerSinkChoice pointer =
        choosePointerSink(options.pointer, display_.pixelSize(), options.pointerLog);
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
    input_->publishStatusTo(&status_);
    RunFlags& flags = processRunFlags();
    const std::function<void()> requestQuit = options.requestQuit;
    loader_ = std::make_unique<StoredCalibrationLoader>(
        input_->tables(), prefs_, display_, static_cast<std::int64_t>(::getpid()), flags.bGet,
        [this, requestQuit] { ShowAlert(localizedString, alerts_, *launcher_, requestQuit); },
        options.log,
        [log = options.log](std::string_view line) {
            std::fprintf(stderr, "zorvan: %.*s\n", static_cast<int>(line.size()), line.data());
            if (log) {
                log(line);
            }
        });
    loader_->publishStatusTo(&status_);

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
    });
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

}  // namespace zorvan::app
