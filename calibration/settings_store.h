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
