#include "driver/stored_calibration_loader.h"

#include "calibration/read_system_param.h"

namespace zorvan {

bool StoredCalibrationLoader::load() {
    const bool stored = ReadSystemParam(tables_, prefs_, display_, pid_, bGet_, showAlert_);
    std::string reason;
    if (!stored) {
        reason = prefs_.readProblem();
        if (reason.empty()) {
            reason = "no calibration is saved (DotCount is 0 or missing)";
        }
    }
    if (reason != builtInReason_) {
        builtInReason_ = reason;
        if (!reason.empty() && log_) {
            log_("using the built-in calibration: " + reason);
        }
    }
    const std::string publish = prefs_.writeProblem();
    if (publish != publishProblem_) {
        publishProblem_ = publish;
        if (!publish.empty() && warn_) {
            warn_(publish + " (the calibration tool cannot reach the driver)");
        }
    }
    return stored;
}

}  // namespace zorvan
