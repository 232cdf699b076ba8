#pragma once

namespace zorvan {

// Loads the stored calibration; called on the reader thread at the first
// silence after a reader starts or after SIGUSR1. The reader ignores the
// result.
class CalibrationLoader {
  public:
    virtual ~CalibrationLoader() = default;
    virtual bool load() = 0;
};

}  // namespace zorvan
