#pragma once

#include <functional>
#include <string>

#include "driver/alert_presenter.h"
#include "driver/calivo_launcher.h"

namespace zorvan {

// Looks up a display text by its key in the context "Localizable"; a missing
// entry yields the key itself.
using TextLookup = std::function<std::string(const char* key)>;

// The calibration alert, on the reader thread: asks whether to calibrate now.
// The default answer starts the calibration tool and then calls
// `requestQuit`, which ends the driver cleanly; any other answer returns and
// the calibration load goes on.
void ShowAlert(const TextLookup& lookup, AlertPresenter& presenter, CalivoLauncher& launcher,
               const std::function<void()>& requestQuit);

}  // namespace zorvan
