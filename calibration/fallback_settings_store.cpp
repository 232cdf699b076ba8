#include "calibration/fallback_settings_store.h"

#include "calibration/dot_grid.h"
#include "calibration/read_system_param.h"

namespace zorvan {

namespace {

constexpr char kDotCount[] = "DotCount";
constexpr char kScreen[] = "Screen";

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

bool FallbackSettingsStore::isCalibrationKey(const std::string& key) {
    return key == kDotCount || startsWith(key, "Dot") || startsWith(key, "TKey") ||
           startsWith(key, "EKey");
}

CalibrationOrigin FallbackSettingsStore::calibrationOrigin() {
    if (!origin_) {
        if (own_.integerForKey(kDotCount) != 0) {
            origin_ = CalibrationOrigin::Own;
        } else if (machineWide_.integerForKey(kDotCount) != 0) {
            origin_ = CalibrationOrigin::MachineWide;
        } else {
            origin_ = CalibrationOrigin::None;
        }
    }
    return *origin_;
}

SettingsStore& FallbackSettingsStore::readerFor(const std::string& key) {
    if (isCalibrationKey(key)) {
        return calibrationOrigin() == CalibrationOrigin::MachineWide ? machineWide_ : own_;
    }
    return own_;
}

std::int64_t FallbackSettingsStore::integerForKey(const std::string& key) {
    return readerFor(key).integerForKey(key);
}

float FallbackSettingsStore::floatForKey(const std::string& key) {
    return readerFor(key).floatForKey(key);
}

std::string FallbackSettingsStore::stringForKey(const std::string& key) {
    if (key == kScreen) {
        std::string own = own_.stringForKey(key);
        return own.empty() ? machineWide_.stringForKey(key) : own;
    }
    return readerFor(key).stringForKey(key);
}

void FallbackSettingsStore::adoptMachineWideKeys() {
    for (const char mode : {'T', 'E'}) {
        for (const int n : kStoredSoftKeys) {
            for (const char axis : {'x', 'y'}) {
                const std::string name = softKeyKey(mode, n, axis);
                own_.setFloatForKey(machineWide_.floatForKey(name), name);
            }
        }
    }
}

void FallbackSettingsStore::setIntegerForKey(std::int64_t value, const std::string& key) {
    if (key == kDotCount && value != 0 && calibrationOrigin() == CalibrationOrigin::MachineWide) {
        adoptMachineWideKeys();
    }
    own_.setIntegerForKey(value, key);
    origin_.reset();
}

void FallbackSettingsStore::removeObjectForKey(const std::string& key) {
    own_.removeObjectForKey(key);
    origin_.reset();
}

void FallbackSettingsStore::setFloatForKey(float value, const std::string& key) {
    own_.setFloatForKey(value, key);
    origin_.reset();
}

void FallbackSettingsStore::setStringForKey(const std::string& value, const std::string& key) {
    own_.setStringForKey(value, key);
    origin_.reset();
}

void FallbackSettingsStore::synchronize() {
    own_.synchronize();
    machineWide_.synchronize();
    origin_.reset();
}

}  // namespace zorvan
