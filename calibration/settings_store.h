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
    // A text value; empty for a missing key.
    virtual std::string stringForKey(const std::string& key) = 0;
    virtual void setIntegerForKey(std::int64_t value, const std::string& key) = 0;
    // Removes the key, so that it reads as missing. A store that cannot
    // remove keys stores 0, which reads the same.
    virtual void removeObjectForKey(const std::string& key) { setIntegerForKey(0, key); }
    // Stored so that floatForKey() gives back exactly `value`.
    virtual void setFloatForKey(float value, const std::string& key) = 0;
    // A text value ("Screen"), as stringForKey() gives it back.
    virtual void setStringForKey(const std::string& value, const std::string& key) = 0;
    virtual void synchronize() = 0;

    // Why the last synchronize() found nothing to read (the file is missing,
    // unreadable, not a regular file, too large, or does not parse), as a
    // phrase for the log; empty when it read the store.
    virtual std::string readProblem() const { return {}; }
    // Why the last synchronize() could not publish this process's writes;
    // empty when it did (or had nothing to publish).
    virtual std::string writeProblem() const { return {}; }
};

}  // namespace zorvan
