#pragma once

#include <cstddef>
#include <string>

namespace zorvan {

// The settings file read in one go, the way a file that anyone may have
// replaced must be read: a FIFO, a device or a directory is refused without
// being opened for reading (no open() that blocks, no side effect of opening
// a device), and nothing beyond `limit` bytes is ever read.
struct SettingsFileContents {
    enum class Status {
        Read,        // `bytes` holds the whole file
        Missing,     // there is no such file
        NotRegular,  // a FIFO, directory, device or socket
        TooLarge,    // larger than the limit
        Unreadable,  // open or read failed with `error`
    };
    Status status = Status::Missing;
    int error = 0;
    std::string bytes;
};

inline constexpr std::size_t kSettingsFileLimit = 1024 * 1024;

SettingsFileContents readSettingsFile(const std::string& path,
                                      std::size_t limit = kSettingsFileLimit);

// Why the file reads as empty, as a phrase for the log ("PATH is not a
// regular file"); empty when it was read.
std::string settingsFileProblem(const std::string& path, const SettingsFileContents& contents);

}  // namespace zorvan
