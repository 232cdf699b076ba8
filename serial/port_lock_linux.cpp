#include "serial/port_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace zorvan::serial {

namespace {

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> result;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find(' ', start), line.size());
        result.push_back(line.substr(start, end - start));
        at = end;
    }
    return result;
}

template <typename T>
bool parseNumber(std::string_view text, T& value, int base = 10) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::optional<pid_t> parseFlockHolder(std::string_view procLocks, unsigned devMajor,
                                      unsigned devMinor, unsigned long ino) {
    // "1: FLOCK  ADVISORY  WRITE 1234 00:06:90 0 EOF"; a waiter has "->"
    // after the number and holds nothing.
    while (!procLocks.empty()) {
        const std::size_t newline = procLocks.find('\n');
        const std::string_view line = procLocks.substr(0, newline);
        procLocks.remove_prefix(newline == std::string_view::npos ? procLocks.size() : newline + 1);

        const std::vector<std::string_view> w = words(line);
        if (w.size() < 6 || w[1] != "FLOCK") {
            continue;
        }
        std::string_view id = w[5];
        unsigned major = 0;
        unsigned minor = 0;
        unsigned long inode = 0;
        const std::size_t first = id.find(':');
        const std::size_t second = id.find(':', first == std::string_view::npos ? 0 : first + 1);
        pid_t pid = 0;
        if (first == std::string_view::npos || second == std::string_view::npos ||
            !parseNumber(id.substr(0, first), major, 16) ||
            !parseNumber(id.substr(first + 1, second - first - 1), minor, 16) ||
            !parseNumber(id.substr(second + 1), inode) || !parseNumber(w[4], pid)) {
            continue;
        }
        if (major == devMajor && minor == devMinor && inode == ino && pid > 0) {
            return pid;
        }
    }
    return std::nullopt;
}

namespace {

std::optional<PortLockHolder> holderOf(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return std::nullopt;
    }
    const std::optional<pid_t> pid =
        parseFlockHolder(readFile("/proc/locks"), major(status.st_dev), minor(status.st_dev),
                         static_cast<unsigned long>(status.st_ino));
    if (!pid) {
        return std::nullopt;
    }
    std::string program = readFile("/proc/" + std::to_string(*pid) + "/comm");
    if (!program.empty() && program.back() == '\n') {
        program.pop_back();
    }
    return PortLockHolder{*pid, std::move(program)};
}

}  // namespace

PortLock lockDevice(int fd, std::optional<PortLockHolder>& holder) {
    holder.reset();
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return PortLock::Taken;
    }
    if (errno != EWOULDBLOCK) {
        return PortLock::Unlocked;
    }
    holder = holderOf(fd);
    return PortLock::Held;
}

void unlockDevice(int fd) {
    ::flock(fd, LOCK_UN);
}

std::optional<PortLockHolder> lockHolderOfPath(const std::string& path) {
    // Opened only to be looked at: without O_NONBLOCK a device whose carrier
    // is off could hold the open, and the flock lines name the inode only.
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<PortLockHolder> holder = holderOf(fd);
    ::close(fd);
    return holder;
}

}  // namespace zorvan::serial
