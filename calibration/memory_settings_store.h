#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "calibration/settings_store.h"

namespace zorvan {

// A settings store held in memory, for tests and for running without a
// persistent store. Values keep the type they were set with and convert on
// reading the way a hand-edited file would: a string is parsed ("3", "1.5",
// "nan"), a float read as an integer truncates toward zero (saturating). A
// missing or unparsable value reads as 0.
//
// Every call through the SettingsStore interface is logged in order, so tests
// can check which keys a caller touched and when. Not thread-safe: one owner.
class MemorySettingsStore : public SettingsStore {
  public:
    struct Access {
        enum class Kind {
            ReadInteger,
            ReadFloat,
            WriteInteger,
            WriteFloat,
            Remove,
            Synchronize,
            ReadString,
            WriteString
        };
        Kind kind;
        std::string key;  // empty for Synchronize
        friend bool operator==(const Access&, const Access&) = default;
    };

    std::int64_t integerForKey(const std::string& key) override;
    float floatForKey(const std::string& key) override;
    // Numbers read as their shortest decimal text.
    std::string stringForKey(const std::string& key) override;
    void setIntegerForKey(std::int64_t value, const std::string& key) override;
    void removeObjectForKey(const std::string& key) override;
    void setFloatForKey(float value, const std::string& key) override;
    void setStringForKey(const std::string& value, const std::string& key) override;
    void synchronize() override;

    // Setters for the test's side (the calibration tool's writes); not logged.
    void setInteger(const std::string& key, std::int64_t value);
    void setFloat(const std::string& key, float value);
    void setString(const std::string& key, std::string value);
    void remove(const std::string& key);
    bool contains(const std::string& key) const;

    const std::vector<Access>& accesses() const { return accesses_; }
    void clearAccesses() { accesses_.clear(); }
    // Called after each logged access, e.g. to raise a signal mid-load.
    void setAccessHook(std::function<void(const Access&)> hook) { hook_ = std::move(hook); }
    // What readProblem() and writeProblem() answer, as a file store would
    // after a synchronize() that failed to read or to publish.
    void setProblems(std::string read, std::string write) {
        readProblem_ = std::move(read);
        writeProblem_ = std::move(write);
    }
    std::string readProblem() const override { return readProblem_; }
    std::string writeProblem() const override { return writeProblem_; }
    // Number of synchronize() calls so far.
    int synchronizeCount() const { return synchronizeCount_; }

  private:
    using Value = std::variant<std::int64_t, float, std::string>;
    void log(Access::Kind kind, const std::string& key);

    std::map<std::string, Value, std::less<>> values_;
    std::vector<Access> accesses_;
    std::function<void(const Access&)> hook_;
    int synchronizeCount_ = 0;
    std::string readProblem_;
    std::string writeProblem_;
};

}  // namespace zorvan
