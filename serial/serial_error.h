#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>

namespace zorvan::serial {

// @addtogroup errors
// @{

// The library's own error domain.
inline constexpr const char VXSerialErrorDomain[] = "VXSerialErrorDomain";
// The domain of errors whose code is an errno.
inline constexpr const char VXPOSIXErrorDomain[] = "NSPOSIXErrorDomain";

// userInfo key of the error that lies beneath another.
inline constexpr const char VXUnderlyingErrorKey[] = "NSUnderlyingErrorKey";

// Codes of VXSerialErrorDomain.
enum : int {
    VXSerialErrorNone = 0,              // a read met its stop condition; a write was whole
    VXSerialErrorTransferFailed = 99,   // wait, read or write failed; end of file; port closed
    VXSerialErrorTimedOut = 100,        // the read time-out passed first
    VXSerialErrorBufferFull = 101,      // 4096 bytes gathered without a stop condition
    VXSerialErrorNothingToWrite = 200,  // no bytes to write
    VXSerialErrorPartialWrite = 201,    // the write call took only part of the data
    VXSerialErrorNoModemLines = 300,    // the device has no modem-control lines (a pseudo-terminal)
    VXSerialErrorPortLocked = 301,      // another open of the device holds its advisory lock
};

// Why a read ended with code 0 (userInfo "endCode").
enum : int {
    VXSerialEndStopChar = 1,   // the last byte received was the stop character
    VXSerialEndByteCount = 2,  // the requested number of bytes was read
};

// userInfo keys of the reads and writes.
inline constexpr const char VXBytesReadKey[] = "bytesRead";  // std::uint64_t: bytes read
inline constexpr const char VXEndCodeKey[] = "endCode";      // std::int64_t: an end code above
inline constexpr const char VXBytesWrittenKey[] = "bytesWritten";  // std::uint64_t: bytes written
// The pid of the process holding the port's lock (code 301), when known.
inline constexpr const char VXLockHolderPidKey[] = "lockHolderPid";  // std::int64_t

struct SerialError;

// A userInfo entry: a count, a number, a text or an underlying error.
using SerialErrorValue =
    std::variant<std::uint64_t, std::int64_t, std::string, std::shared_ptr<const SerialError>>;

// A failure (or, where an operation says so, its successful outcome) told by
// domain and code, with details keyed by name. A plain value: copy it freely.
struct SerialError {
    std::string domain;                                // VXSerialErrorDomain, VXPOSIXErrorDomain
    int code = 0;                                      // a code of the domain
    std::map<std::string, SerialErrorValue> userInfo;  // details by key

    // The entry under key when it holds a T, else nullptr.
    template <class T>
    const T* find(const std::string& key) const {
        const auto it = userInfo.find(key);
        return it == userInfo.end() ? nullptr : std::get_if<T>(&it->second);
    }

    // An error in VXPOSIXErrorDomain with errno as its code.
    static SerialError posix(int errorNumber);

    bool operator==(const SerialError&) const = default;  // all three parts alike
};

// The system's text for an errno value ("Permission denied"); thread-safe.
std::string errnoText(int errorNumber);

// @}

}  // namespace zorvan::serial
