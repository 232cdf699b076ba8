#include "platform/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zorvan {

namespace {

// Closes on every path out.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

SettingsFileContents failed(SettingsFileContents::Status status, int error = 0) {
    SettingsFileContents contents;
    contents.status = status;
    contents.error = error;
    return contents;
}

std::string errorText(int error) {
    char buffer[256];
    // The GNU strerror_r answers a pointer that may or may not be `buffer`.
    return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace

SettingsFileContents readSettingsFile(const std::string& path, std::size_t limit) {
    using Status = SettingsFileContents::Status;
    // O_PATH looks at the file without opening it for reading: a FIFO does
    // not block and a device is not touched.
    const Descriptor handle(::open(path.c_str(), O_PATH | O_CLOEXEC));
    if (handle.get() < 0) {
        return errno == ENOENT ? failed(Status::Missing) : failed(Status::Unreadable, errno);
    }
    struct stat st {};
    if (::fstat(handle.get(), &st) != 0) {
        return failed(Status::Unreadable, errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return failed(Status::NotRegular);
    }
    if (static_cast<std::size_t>(st.st_size) > limit) {
        return failed(Status::TooLarge);
    }
    // Reopened through the handle: the very file that was looked at, even if
    // the path has been pointed elsewhere meanwhile.
    const std::string self = "/proc/self/fd/" + std::to_string(handle.get());
    const Descriptor file(::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0) {
        return failed(Status::Unreadable, errno);
    }
    SettingsFileContents contents;
    contents.status = Status::Read;
    contents.bytes.resize(limit + 1);
    std::size_t used = 0;
    while (used < contents.bytes.size()) {
        const ssize_t n =
            ::read(file.get(), contents.bytes.data() + used, contents.bytes.size() - used);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failed(Status::Unreadable, errno);
        }
        used += static_cast<std::size_t>(n);
    }
    if (used > limit) {
        return failed(Status::TooLarge);  // it grew while being read
    }
    contents.bytes.resize(used);
    return contents;
}

std::string settingsFileProblem(const std::string& path, const SettingsFileContents& contents) {
    using Status = SettingsFileContents::Status;
    switch (contents.status) {
        case Status::Read:
            return {};
        case Status::Missing:
            return path + " does not exist";
        case Status::NotRegular:
            return path + " is not a regular file";
        case Status::TooLarge:
            return path + " is larger than 1 MB";
        case Status::Unreadable:
            return "cannot read " + path + ": " + errorText(contents.error);
    }
    return {};
}

}  // namespace zorvan
