#include "tools/calivo/import_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/settings_file.h"

namespace zorvan::calivo {

namespace {

std::optional<std::string> readStandardInput(std::string& problem) {
    std::string text(kSettingsFileLimit + 1, '\0');
    std::size_t used = 0;
    while (used < text.size()) {
        const ssize_t n = ::read(STDIN_FILENO, text.data() + used, text.size() - used);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            problem = std::string("cannot read standard input: ") + std::strerror(errno);
            return std::nullopt;
        }
        used += static_cast<std::size_t>(n);
    }
    if (used > kSettingsFileLimit) {
        problem = "standard input holds more than 1 MB: no calibration is that large";
        return std::nullopt;
    }
    text.resize(used);
    return text;
}

}  // namespace

std::optional<std::string> readImportFile(const std::string& path, std::string& problem) {
    if (path == "-") {
        return readStandardInput(problem);
    }
    SettingsFileContents contents = readSettingsFile(path);
    using Status = SettingsFileContents::Status;
    switch (contents.status) {
        case Status::Read:
            return std::move(contents.bytes);
        case Status::Missing:
            problem = "cannot read " + path + ": " + std::strerror(ENOENT);
            break;
        case Status::NotRegular: {
            // Only for the message: the file was looked at, never read.
            struct stat st {};
            const bool known = ::stat(path.c_str(), &st) == 0;
            if (known && S_ISDIR(st.st_mode)) {
                problem = path + " is a folder, not a calibration file";
            } else if (known && S_ISFIFO(st.st_mode)) {
                problem = path + " is a pipe: give its text on standard input with '--import -'";
            } else {
                problem = path + " is not a regular file";
            }
            break;
        }
        case Status::TooLarge:
            problem = path + " is larger than 1 MB: no calibration is that large";
            break;
        case Status::Unreadable:
            problem = settingsFileProblem(path, contents);
            break;
    }
    return std::nullopt;
}

}  // namespace zorvan::calivo
