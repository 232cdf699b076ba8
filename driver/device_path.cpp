#include "driver/device_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <vector>

namespace zorvan {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's MAXSYMLINKS

std::deque<std::string> componentsOf(const std::string& path) {
    std::deque<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& part : parts) {
        path += '/';
        path += part;
    }
    return path.empty() ? "/" : path;
}

}  // namespace

std::string resolvedDevicePath(const std::string& path) {
    if (path.empty() || path.front() != '/') {
        return {};
    }
    std::vector<std::string> done;  // resolved so far, no links in it
    std::deque<std::string> todo = componentsOf(path);
    int links = 0;
    bool missing = false;  // past a part that does not exist: no more lookups
    while (!todo.empty()) {
        std::string part = std::move(todo.front());
        todo.pop_front();
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (!done.empty()) {
                done.pop_back();
            }
            continue;
        }
        done.push_back(std::move(part));
        if (missing) {
            continue;
        }
        const std::string current = joined(done);
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0) {
            missing = true;
            continue;
        }
        if (!S_ISLNK(info.st_mode)) {
            continue;
        }
        if (++links > kMaxLinks) {
            return {};
        }
        std::string target(4096, '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
            missing = true;  // unreadable: keep the link's own name
            continue;
        }
        target.resize(static_cast<std::size_t>(length));
        done.pop_back();
        if (target.front() == '/') {
            done.clear();
        }
        std::deque<std::string> next = componentsOf(target);
        next.insert(next.end(), todo.begin(), todo.end());
        todo = std::move(next);
    }
    return joined(done);
}

}  // namespace zorvan
