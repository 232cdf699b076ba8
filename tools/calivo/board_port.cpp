#include "tools/calivo/board_port.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <chrono>
#include <span>

#include "driver/app_controller.h"
#include "driver/errno_text.h"

namespace zorvan::calivo {

BoardPort::BoardPort(Handlers handlers, QObject* parent)
    : QObject(parent), handlers_(std::move(handlers)) {
    // The reader loop's silence.
    silenceTimer_.setInterval(
        std::chrono::duration_cast<std::chrono::milliseconds>(AppController::kSilence));
    connect(&silenceTimer_, &QTimer::timeout, this, &BoardPort::silence);
}

BoardPort::~BoardPort() {
    close();
}

bool BoardPort::open(const std::string& path, std::string& error) {
    close();
    const int fd = link_.InitSerialPort(path.c_str());
    if (fd < 0) {
        error = "cannot open " + path + ": " + errnoText(link_.lastOpenError());
        return false;
    }
    fd_ = fd;
    framer_.clear();
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &BoardPort::readAvailable);
    silenceTimer_.start();
    return true;
}

void BoardPort::close() {
    silenceTimer_.stop();
    notifier_.reset();
    if (fd_ >= 0) {
        link_.CloseSerialPort(fd_);
        fd_ = -1;
    }
    // The framer is left alone: close() may come from a packet handler while
    // the framer is handing out packets. open() starts it afresh.
}

void BoardPort::readAvailable() {
    std::array<std::uint8_t, 512> buffer{};
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n > 0) {
            silenceTimer_.start();
            framer_.push(std::span(buffer.data(), static_cast<std::size_t>(n)),
                         [this](const Packet& packet) {
                             // Nothing more once a handler has closed the port.
                             if (fd_ >= 0 && handlers_.packet) {
                                 handlers_.packet(packet);
                             }
                         });
            if (fd_ < 0) {
                return;  // a handler closed the port
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        // End of file or EIO: the device has gone.
        const std::string why = n == 0 ? "the board closed the line" : errnoText(errno);
        close();
        if (handlers_.lost) {
            handlers_.lost(why);
        }
        return;
    }
}

void BoardPort::silence() {
    if (fd_ >= 0) {
        link_.WriteData(fd_);
        framer_.clear();
    }
}

}  // namespace zorvan::calivo
