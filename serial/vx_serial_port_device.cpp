// Opening, closing and line control: the port's use of its descriptor.
#include <errno.h>

#include <chrono>
#include <memory>
#include <utility>

#include "serial/background_jobs.h"
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
        openError_.store(-fd);
        return nullptr;
    }
    LineSettings found;
    // Every use of the device goes through a copy of the descriptor, with the
    // wake-up descriptor close() fires; without either the port can't be
    // used safely.
    const int settingsError = tty::readFrom(fd, found);
    const int copy = settingsError == 0 ? tty::duplicate(fd) : -1;
    const int wake = copy >= 0 ? tty::makeWakeDescriptor() : -1;
    int failure = settingsError != 0 ? settingsError : (wake < 0 ? errno : 0);
    // Before exclusive use is taken: it would refuse this open too. Reads
    // do without it (they wait, then read) when it can't be had.
    const int nonBlocking = failure == 0 ? tty::reopenNonBlocking(fd) : -1;
    if (failure == 0 && exclusive_.load()) {
        failure = control_->setExclusive(fd, true);
    }
    if (failure != 0) {
        tty::closeDescriptor(fd);  // not a terminal, no descriptors left, or not exclusive
        tty::closeDescriptor(copy);
        tty::closeDescriptor(wake);
        tty::closeDescriptor(nonBlocking);
        openError_.store(failure);
        return nullptr;
    }
    jobs_->kept.clear();
    session_ = std::make_shared<DescriptorSession>(copy, nonBlocking < 0 ? -1 : nonBlocking, wake);
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
    openError_.store(0);
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
        // Exclusive use stays with the device, not the descriptor: give it
        // back. The lock goes with the last descriptor of this open.
        if (exclusive_.load()) {
            control_->setExclusive(session_->fd, false);
        }
        locked_.store(false);
        jobs_->kept.clear();
        fileDescriptor_.store(-1);
        session_->closed.store(true);
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

bool VXSerialPort::sendBreakForDuration(std::chrono::milliseconds duration) {
    const auto session = this->session();
    if (!session || control_->setBreak(session->fd, true) != 0) {
        return false;
    }
    const long long micros = duration.count() > 0 ? duration.count() * 1000 : 0;
    // A wait on the wake-up descriptor alone: close() cuts it short.
    const auto wait = tty::waitReadable(session->wakeFd, -1, micros);
    const bool released = control_->setBreak(session->fd, false) == 0;
    return released && wait == tty::Wait::TimedOut;
}

bool VXSerialPort::setBreak() {
    const auto control = control_;
    return onSession(session(), [&](int fd) { return control->setBreak(fd, true); });
}

bool VXSerialPort::clearBreak() {
    const auto control = control_;
    return onSession(session(), [&](int fd) { return control->setBreak(fd, false); });
}

int VXSerialPort::bytesToSend() const {
    const auto session = this->session();
    int bytes = 0;
    return session && control_->outputQueue(session->fd, bytes) == 0 ? bytes : -1;
}

bool VXSerialPort::setDTR() {
    return onSession(session(), [](int fd) { return tty::setDTR(fd, true); });
}

bool VXSerialPort::clearDTR() {
    return onSession(session(), [](int fd) { return tty::setDTR(fd, false); });
}

}  // namespace zorvan::serial
