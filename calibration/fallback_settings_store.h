#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "calibration/settings_store.h"

namespace zorvan {

// Where the calibration in use comes from.
enum class CalibrationOrigin : std::uint8_t {
    None,        // neither file holds one: the built-in grid
    Own,         // the user's own settings file
    MachineWide  // the machine-wide file, for every account without one of its own
};

// The user's settings with the machine-wide file behind them, so that a
// calibration installed once serves every account. The calibration is one
// unit: when the user's store holds none ("DotCount" 0 or missing) and the
// machine-wide one does, the grid form, the dots and the soft keys all come
// from the machine-wide store; a user's own calibration wins as a whole, never
// mixed key by key. "Screen" is the user's when set, else the machine-wide
// one's. Every other key, every write and every removal is the user's store
// alone: nothing here ever writes to the machine-wide store.
//
// A user's first calibration of their own takes over the machine-wide soft
// keys (written with its "DotCount"), so that keys the user skips keep the
// values that were in use, as they would in a calibration of their own.
class FallbackSettingsStore : public SettingsStore {
  public:
    FallbackSettingsStore(SettingsStore& own, SettingsStore& machineWide)
        : own_(own), machineWide_(machineWide) {}

    std::int64_t integerForKey(const std::string& key) override;
    float floatForKey(const std::string& key) override;
    std::string stringForKey(const std::string& key) override;
    void setIntegerForKey(std::int64_t value, const std::string& key) override;
    void removeObjectForKey(const std::string& key) override;
    void setFloatForKey(float value, const std::string& key) override;
    void setStringForKey(const std::string& value, const std::string& key) override;
    // Both stores: publishes the user's writes, picks up both files anew.
    void synchronize() override;
    // The user's store's: the machine-wide file is only ever read.
    std::string readProblem() const override { return own_.readProblem(); }
    std::string writeProblem() const override { return own_.writeProblem(); }

    // Which store the calibration keys are read from now.
    CalibrationOrigin calibrationOrigin();
    // Why the machine-wide file could not be read; empty when it was (or
    // there is none, which is the normal case).
    std::string machineWideProblem() const { return machineWide_.readProblem(); }

    // "DotCount", "Dot<k>.x/y", "TKey<n>.x/y", "EKey<n>.x/y".
    static bool isCalibrationKey(const std::string& key);

  private:
    SettingsStore& readerFor(const std::string& key);
    void adoptMachineWideKeys();

    SettingsStore& own_;
    SettingsStore& machineWide_;
    // Decided at the first read after a synchronize() or a write.
    std::optional<CalibrationOrigin> origin_;
};

}  // namespace zorvan
