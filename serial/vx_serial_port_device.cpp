// Opening, closing and line control: the port's use of its descriptor.
#include <memory>
#include <utility>

#include "serial/descriptor_session.h"
#include "serial/tty_device.h"
#include "serial/tty_io.h"
#include "serial/tty_settings.h"
#include "serial/vx_serial_port.h"

namespace zorvan::serial {

std::shared_ptr<FileHandle> VXSerialPort::fileHandle() const {
    std::lock_guard lock(closeLock_);
    return fileHandle_;
}

std::shared_ptr<FileHandle> VXSerialPort::open() {
    std::lock_guard lock(closeLock_);
    if (fileHandle_) {
        // Opening again would orphan the descriptor the client already holds.
        return fileHandle_;
    }
    const int fd = tty::openDevice(bsdPath_);
    if (fd < 0) {
        return nullptr;
    }
    LineSettings found;
    // Every use of the device goes through a copy of the descriptor, with the
    // wake-up descriptor close() fires; without either the port can't be
    // used safely.
    const int copy = tty::readFrom(fd, found) == 0 ? tty::duplicate(fd) : -1;
    const int wake = copy >= 0 ? tty::makeWakeDescriptor() : -1;
    if (copy < 0 || wake < 0) {
        tty::closeDescriptor(fd);  // not a terminal, or no descriptors left
        tty::closeDescriptor(copy);
        return nullptr;
    }
    session_ = std::make_shared<DescriptorSession>(copy, wake);
    originalOptions_ = found;
    options_ = found;
    // A client closing the handle closes the port: the port must not go on
    // as open on a number the process may give to another file.
    fileHandle_ = std::make_shared<FileHandle>(fd, [port = weak_from_this()] {
        if (const auto self = port.lock()) {
            self->close();
        }
    });
    fileDescriptor_.store(fd);
    return fileHandle_;
}

void VXSerialPort::close() {
    if (fileDescriptor_.load() < 0) {
        return;
    }
    std::shared_ptr<FileHandle> handle;
    {
        std::lock_guard lock(closeLock_);
        if (!session_) {
            return;  // closed by another thread meanwhile
        }
        // Best effort: a device that has gone takes neither, and is closed
        // all the same. The session's copy shares the handle's open file, so
        // both end up non-blocking.
        tty::setNonBlocking(session_->fd);
        tty::applyTo(session_->fd, originalOptions_);
        fileDescriptor_.store(-1);
        // Ends every wait on the port; the session's descriptors go when its
        // last user lets go of it.
        tty::fireWakeDescriptor(session_->wakeFd);
        session_.reset();
        handle = std::move(fileHandle_);
    }
    // Outside the lock: closing the handle comes back here (and returns at
    // once) when the close did not start from the handle itself.
    handle->closeFile();
    // Their jobs end at once on the closed port; a later open starts new ones.
    retireBackgroundWorkers();
}

std::shared_ptr<DescriptorSession> VXSerialPort::session() const {
    std::lock_guard lock(closeLock_);
    return session_;
}

void VXSerialPort::setRunLoop(std::shared_ptr<RunLoop> loop) {
    std::lock_guard lock(runLoopLock_);
    runLoop_ = std::move(loop);
}

std::shared_ptr<RunLoop> VXSerialPort::runLoop() const {
    std::lock_guard lock(runLoopLock_);
    if (runLoop_) {
        return runLoop_;
    }
    if (auto loop = creatorsLoop_.lock()) {
        return loop;
    }
    return RunLoop::mainLoop();
}

namespace {

// Answers call(descriptor) == 0 on the open port's own copy of its
// descriptor (held for the call's length), false on a closed port.
template <class Call>
bool onSession(const std::shared_ptr<DescriptorSession>& session, Call call) {
    return session && call(session->fd) == 0;
}

}  // namespace

bool VXSerialPort::drainInput() {
    return onSession(session(), [](int fd) { return tty::drain(fd); });
}

bool VXSerialPort::flushInputOutput(bool input, bool output) {
    return onSession(session(), [&](int fd) { return tty::flush(fd, input, output); });
}

bool VXSerialPort::sendBreak() {
    return onSession(session(), [](int fd) { return tty::sendBreak(fd); });
}

bool VXSerialPort::setDTR() {
    return onSession(session(), [](int fd) { return tty::setDTR(fd, true); });
}

bool VXSerialPort::clearDTR() {
    return onSession(session(), [](int fd) { return tty::setDTR(fd, false); });
}

}  // namespace zorvan::serial
