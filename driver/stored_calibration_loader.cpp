#include "driver/stored_calibration_loader.h"

#include "calibration/read_system_param.h"

namespace zorvan {

bool StoredCalibrationLoader::load() {
    return ReadSystemParam(tables_, prefs_, display_, pid_, bGet_, showAlert_);
}

}  // namespace zorvan
