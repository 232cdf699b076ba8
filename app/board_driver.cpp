#include "app/board_driver.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

#include "driver/calibration_alert.h"
#include "driver/run_flags.h"
#include "platform/qt_translations.h"

namespace zorvan::app {

BoardDriver::BoardDriver(Options options) {
    launcher_ = std::make_unique<CalivoLauncher>(prefs_, processes_, ownExecutablePath());

    std::string chosen;
    sink_ = makePointerSink(options.pointer, display_.pixelSize(), options.pointerLog, chosen);
    // Which backend serves the pointer matters when nothing moves: say it on
    // stderr as well as in the log view.
    std::fprintf(stderr, "zorvan: %s\n", chosen.c_str());
    if (options.log) {
        options.log(chosen);
    }

    input_ = std::make_unique<BoardInput>(*sink_, [this] { launcher_->startCalivo(); });
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

    controller_ = std::make_unique<AppController>(AppController::Services{
        .runFlags = flags,
        .devicePath = std::move(options.devicePath),
        .log = std::move(options.log),
        .packetHandler = input_.get(),
        .calibrationLoader = loader_.get(),
        .requestQuit = options.requestQuit,
    });
}

BoardDriver::~BoardDriver() {
    // The reader uses everything below; it ends first.
    if (controller_) {
        controller_->shutdown();
    }
}

}  // namespace zorvan::app
