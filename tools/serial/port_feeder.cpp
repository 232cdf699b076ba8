#include "tools/serial/port_feeder.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace zorvan::serial_tool {
namespace {

constexpr std::size_t kChunk = 4096;
// At most this much of the input waits here for the device.
constexpr std::size_t kLimit = 64 * 1024;

}  // namespace

PortFeeder::PortFeeder(serial::RunLoop& loop, serial::VXSerialPort& port, int input,
                       std::optional<std::uint8_t> quitKey, Handlers handlers)
    : loop_(loop), port_(port), input_(input), quitKey_(quitKey), handlers_(std::move(handlers)) {}

PortFeeder::~PortFeeder() {
    stop();
    if (file_ >= 0) {
        ::close(file_);
    }
    if (roomFd_ >= 0) {
        ::close(roomFd_);
    }
}

bool PortFeeder::start() {
    const int fd = port_.fileDescriptor();
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        return false;
    }
    // The loop watches only for input, so the device's room for output
    // reaches it through an epoll descriptor, which is readable while the
    // device takes output (or has hung up, which the next write tells).
    roomFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLOUT;
    event.data.fd = fd;
    if (roomFd_ < 0 || ::epoll_ctl(roomFd_, EPOLL_CTL_ADD, fd, &event) != 0) {
        return false;
    }
    watchInput(true);
    return true;
}

void PortFeeder::stop() {
    watchInput(false);
    watchRoom(false);
}

void PortFeeder::watchInput(bool on) {
    if (on && inputWatch_ == 0) {
        inputWatch_ = loop_.watchReadable(input_, [this] { readInput(); });
    } else if (!on && inputWatch_ != 0) {
        loop_.unwatch(inputWatch_);
        inputWatch_ = 0;
    }
}

void PortFeeder::watchRoom(bool on) {
    if (on && roomWatch_ == 0) {
        roomWatch_ = loop_.watchReadable(roomFd_, [this] { writePending(); });
    } else if (!on && roomWatch_ != 0) {
        loop_.unwatch(roomWatch_);
        roomWatch_ = 0;
    }
}

std::size_t PortFeeder::inputRoom() const {
    const std::size_t waiting = file_ >= 0 ? held_.size() : pending_.size() - sent_;
    return waiting < kLimit ? kLimit - waiting : 0;
}

void PortFeeder::readInput() {
    if (inputRoom() == 0) {
        watchInput(false);  // a read of 0 bytes would look like the end of input
        return;
    }
    std::uint8_t chunk[kChunk];
    const ssize_t n = ::read(input_, chunk, std::min(inputRoom(), sizeof chunk));
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    if (n <= 0) {
        endInput();  // end of input, or input that can't be read (a closed stdin)
        return;
    }
    const auto* end = quitKey_ ? static_cast<const std::uint8_t*>(
                                     std::memchr(chunk, *quitKey_, static_cast<std::size_t>(n)))
                               : nullptr;
    const std::span<const std::uint8_t> taken(chunk, end != nullptr
                                                         ? static_cast<std::size_t>(end - chunk)
                                                         : static_cast<std::size_t>(n));
    std::vector<std::uint8_t> filtered;
    if (handlers_.filter) {
        handlers_.filter(taken, filtered);
    } else {
        filtered.assign(taken.begin(), taken.end());
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(sent_));
    sent_ = 0;
    // Keys typed while a file goes out follow the file.
    std::vector<std::uint8_t>& queue = file_ >= 0 ? held_ : pending_;
    queue.insert(queue.end(), filtered.begin(), filtered.end());
    taken_ += filtered.size();
    if (!filtered.empty() && handlers_.onInput) {
        handlers_.onInput(filtered);
    }
    if (end != nullptr) {
        endInput();
        return;
    }
    writePending();
}

bool PortFeeder::sendFile(int fd) {
    if (file_ >= 0 || failed_) {
        return false;
    }
    file_ = fd;
    fileTaken_ = 0;
    writePending();
    return true;
}

void PortFeeder::fillFromFile() {
    while (file_ >= 0 && pending_.size() - sent_ < kLimit) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(sent_));
        sent_ = 0;
        std::uint8_t chunk[kChunk];
        const ssize_t n = ::read(file_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n > 0) {
            pending_.insert(pending_.end(), chunk, chunk + n);
            taken_ += static_cast<std::uint64_t>(n);
            fileTaken_ += static_cast<std::uint64_t>(n);
            if (handlers_.onInput) {
                handlers_.onInput(
                    std::span<const std::uint8_t>(chunk, static_cast<std::size_t>(n)));
            }
            continue;
        }
        // A regular file never makes a reader wait, so anything but data ends it.
        const int error = n < 0 ? errno : 0;
        ::close(file_);
        file_ = -1;
        pending_.insert(pending_.end(), held_.begin(), held_.end());
        held_.clear();
        if (handlers_.onFileSent) {
            handlers_.onFileSent(fileTaken_, error);
        }
    }
}

void PortFeeder::endInput() {
    inputEnded_ = true;
    watchInput(false);
    if (handlers_.onInputEnd) {
        handlers_.onInputEnd();
    }
    writePending();
}

void PortFeeder::writePending() {
    if (failed_) {
        return;  // nothing more goes to a device that failed
    }
    for (;;) {
        fillFromFile();
        if (sent_ >= pending_.size()) {
            break;
        }
        serial::SerialError result;
        const std::span<const std::uint8_t> rest(pending_.data() + sent_,
                                                 std::min(pending_.size() - sent_, kChunk));
        const std::size_t before = sent_;
        port_.writeData(rest, &result);
        // Taken before anything else can touch errno: a failed write call
        // leaves its reason there, and EAGAIN only says the device is full.
        const int reason = errno;
        if (result.code == serial::VXSerialErrorNone) {
            sent_ += rest.size();
        } else if (const auto* written = result.find<std::uint64_t>(serial::VXBytesWrittenKey)) {
            sent_ += static_cast<std::size_t>(*written);
        } else if (result.code == serial::VXSerialErrorTransferFailed && reason == EAGAIN) {
            break;
        } else {
            failed_ = true;
            stop();
            if (handlers_.onWriteFailed) {
                handlers_.onWriteFailed(result.code == serial::VXSerialErrorTransferFailed ? reason
                                                                                           : EIO);
            }
            return;
        }
        delivered_ += sent_ - before;
    }
    const bool waiting = sent_ < pending_.size();
    if (!waiting) {
        pending_.clear();
        sent_ = 0;
    }
    watchRoom(waiting);
    // Input is read on while it fits: typed keys (the quit key among them)
    // still arrive while the device holds output up.
    watchInput(!inputEnded_ && inputRoom() > 0);
    if (!waiting && file_ < 0 && inputEnded_ && handlers_.onAllWritten) {
        handlers_.onAllWritten();
    }
}

}  // namespace zorvan::serial_tool
