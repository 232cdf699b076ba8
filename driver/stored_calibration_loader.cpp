#include "driver/stored_calibration_loader.h"

#include "calibration/read_system_param.h"

namespace zorvan {

bool StoredCalibrationLoader::load() {
    const bool stored = ReadSystemParam(tables_, prefs_, display_, pid_, bGet_, showAlert_);
    if (status_ != nullptr) {
        status_->publishCalibration(stored, tables_.W_Dot, tables_.H_Dot);
    }
    return stored;
}

}  // namespace zorvan
