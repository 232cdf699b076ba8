#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>

namespace zorvan::serial {

// The library's own error domain, and the domain of errors that carry an errno.
inline constexpr const char VXSerialErrorDomain[] = "VXSerialErrorDomain";
inline constexpr const char VXPOSIXErrorDomain[] = "NSPOSIXErrorDomain";

// userInfo key of the error that lies beneath another.
inline constexpr const char VXUnderlyingErrorKey[] = "NSUnderlyingErrorKey";

struct SerialError;

// A userInfo entry: a count, a number, a text or an underlying error.
using SerialErrorValue =
    std::variant<std::uint64_t, std::int64_t, std::string, std::shared_ptr<const SerialError>>;

// A failure (or, where an operation says so, its successful outcome) told by
// domain and code, with details keyed by name. A plain value: copy it freely.
struct SerialError {
    std::string domain;
    int code = 0;
    std::map<std::string, SerialErrorValue> userInfo;

    // The entry under key when it holds a T, else nullptr.
    template <class T>
    const T* find(const std::string& key) const {
        const auto it = userInfo.find(key);
        return it == userInfo.end() ? nullptr : std::get_if<T>(&it->second);
    }

    // An error in VXPOSIXErrorDomain with errno as its code.
    static SerialError posix(int errorNumber);

    bool operator==(const SerialError&) const = default;
};

// The system's text for an errno value ("Permission denied"); thread-safe.
std::string errnoText(int errorNumber);

}  // namespace zorvan::serial
