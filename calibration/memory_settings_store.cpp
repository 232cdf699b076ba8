#include "calibration/memory_settings_store.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <type_traits>

namespace zorvan {

namespace {

// Float to integer, truncating toward zero; NaN reads as 0 and values beyond
// the range saturate, so no input is undefined behaviour.
std::int64_t saturatingTrunc(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (value >= kLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value < -kLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(value);
}

// Whole text must parse; otherwise the value counts as missing.
bool parseDouble(const std::string& text, double& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) {
        return false;
    }
    out = value;  // overflow gives +-HUGE_VAL, which is what the text says
    return true;
}

float narrowToFloat(double value) {
    // Out-of-range doubles become infinities explicitly; the plain conversion
    // would be undefined.
    if (value > std::numeric_limits<float>::max()) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -std::numeric_limits<float>::max()) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

}  // namespace

void MemorySettingsStore::log(Access::Kind kind, const std::string& key) {
    accesses_.push_back({kind, key});
    if (hook_) {
        hook_(accesses_.back());
    }
}

std::int64_t MemorySettingsStore::integerForKey(const std::string& key) {
    std::int64_t result = 0;
    if (const auto it = values_.find(key); it != values_.end()) {
        result = std::visit(
            [](const auto& value) -> std::int64_t {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::int64_t>) {
                    return value;
                } else if constexpr (std::is_same_v<T, float>) {
                    return saturatingTrunc(value);
                } else {
                    double parsed = 0.0;
                    return parseDouble(value, parsed) ? saturatingTrunc(parsed) : 0;
                }
            },
            it->second);
    }
    log(Access::Kind::ReadInteger, key);
    return result;
}

float MemorySettingsStore::floatForKey(const std::string& key) {
    float result = 0.0f;
    if (const auto it = values_.find(key); it != values_.end()) {
        result = std::visit(
            [](const auto& value) -> float {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::int64_t>) {
                    return static_cast<float>(value);
                } else if constexpr (std::is_same_v<T, float>) {
                    return value;
                } else {
                    double parsed = 0.0;
                    return parseDouble(value, parsed) ? narrowToFloat(parsed) : 0.0f;
                }
            },
            it->second);
    }
    log(Access::Kind::ReadFloat, key);
    return result;
}

std::string MemorySettingsStore::stringForKey(const std::string& key) {
    std::string result;
    if (const auto it = values_.find(key); it != values_.end()) {
        result = std::visit(
            [](const auto& value) -> std::string {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::string>) {
                    return value;
                } else {
                    std::array<char, 32> text{};
                    const auto end =
                        std::to_chars(text.data(), text.data() + text.size(), value).ptr;
                    return std::string(text.data(), end);
                }
            },
            it->second);
    }
    log(Access::Kind::ReadString, key);
    return result;
}

void MemorySettingsStore::setIntegerForKey(std::int64_t value, const std::string& key) {
    values_[key] = value;
    log(Access::Kind::WriteInteger, key);
}

void MemorySettingsStore::removeObjectForKey(const std::string& key) {
    values_.erase(key);
    log(Access::Kind::Remove, key);
}

void MemorySettingsStore::setFloatForKey(float value, const std::string& key) {
    values_[key] = value;
    log(Access::Kind::WriteFloat, key);
}

void MemorySettingsStore::setStringForKey(const std::string& value, const std::string& key) {
    values_[key] = value;
    log(Access::Kind::WriteString, key);
}

void MemorySettingsStore::synchronize() {
    ++synchronizeCount_;
    log(Access::Kind::Synchronize, {});
}

void MemorySettingsStore::setInteger(const std::string& key, std::int64_t value) {
    values_[key] = value;
}

void MemorySettingsStore::setFloat(const std::string& key, float value) {
    values_[key] = value;
}

void MemorySettingsStore::setString(const std::string& key, std::string value) {
    values_[key] = std::move(value);
}

void MemorySettingsStore::remove(const std::string& key) {
    values_.erase(key);
}

bool MemorySettingsStore::contains(const std::string& key) const {
    return values_.find(key) != values_.end();
}

}  // namespace zorvan
