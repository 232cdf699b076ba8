#include "platform/machine_wide_settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zorvan {

namespace {

constexpr char kRelative[] = "/Zorvan/Zorvan.conf";

std::vector<std::string> configFolders() {
    std::vector<std::string> folders;
    const char* value = std::getenv("XDG_CONFIG_DIRS");
    const std::string list = value != nullptr ? value : "";
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string folder = list.substr(start, end - start);
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        if (!folder.empty() && folder.front() == '/') {
            folders.push_back(folder == "/" ? std::string() : folder);
        }
        start = end + 1;
    }
    if (folders.empty()) {
        folders.push_back("/etc/xdg");
    }
    return folders;
}

// The nearest folder of `path` that exists: where a missing one would be made.
std::string nearestExisting(std::string path) {
    struct stat st {};
    while (!path.empty() && ::stat(path.c_str(), &st) != 0) {
        const std::size_t slash = path.find_last_of('/');
        path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
    }
    return path.empty() ? "/" : path;
}

}  // namespace

std::string machineWideSettingsPath() {
    const std::vector<std::string> folders = configFolders();
    for (const std::string& folder : folders) {
        struct stat st {};
        if (::stat((folder + kRelative).c_str(), &st) == 0) {
            return folder + kRelative;
        }
    }
    return folders.front() + kRelative;
}

std::string machineWideWriteProblem(const std::string& path) {
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    const std::string folder = path.substr(0, path.find_last_of('/'));
    // The file is replaced by a new one beside it: its folder must take that.
    const std::string checked = exists ? folder : nearestExisting(folder);
    std::string why;
    if (exists && !S_ISREG(st.st_mode)) {
        why = path + " is not a regular file";
    } else if (struct stat dir{}; ::stat(checked.c_str(), &dir) == 0 && !S_ISDIR(dir.st_mode)) {
        why = checked + " is not a folder";
    } else if (::access(checked.c_str(), W_OK | X_OK) != 0) {
        why = "cannot write in " + checked + ": " + std::strerror(errno);
    } else if (exists && ::access(path.c_str(), W_OK) != 0) {
        why = "cannot write " + path + ": " + std::strerror(errno);
    }
    if (why.empty()) {
        return {};
    }
    if (::geteuid() != 0) {
        return why + "; the calibration for every account is installed as root (sudo)";
    }
    return why;
}

bool makeMachineWideFolder(const std::string& path) {
    const std::string folder = path.substr(0, path.find_last_of('/'));
    for (std::size_t slash = 1; slash != std::string::npos && slash <= folder.size();) {
        slash = folder.find('/', slash + 1);
        const std::string part = folder.substr(0, slash);
        struct stat st {};
        if (::stat(part.c_str(), &st) == 0) {
            continue;
        }
        if (::mkdir(part.c_str(), 0755) != 0 || ::chmod(part.c_str(), 0755) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace zorvan
