#pragma once

#include <cstdint>
#include <string>

namespace zorvan {

// The key-value store shared with the calibration tool. A missing key reads
// as 0. synchronize() publishes this process's writes and picks up what other
// processes (the calibration tool) have saved since.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual std::int64_t integerForKey(const std::string& key) = 0;
    virtual float floatForKey(const std::string& key) = 0;
    virtual void setIntegerForKey(std::int64_t value, const std::string& key) = 0;
    // Stored so that floatForKey() gives back exactly `value`.
    virtual void setFloatForKey(float value, const std::string& key) = 0;
    virtual void synchronize() = 0;
};

}  // namespace zorvan
