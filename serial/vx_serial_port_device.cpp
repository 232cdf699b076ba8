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
    auto handle = std::make_shared<FileHandle>(fd);
    LineSettings found;
    if (tty::readFrom(fd, found) != 0) {
        return nullptr;  // not a terminal; the handle closes the descriptor
    }
    // Reads and writes work on a copy of the descriptor, with the wake-up
    // descriptor close() fires; without either the port can't be used safely.
    const int copy = tty::duplicate(fd);
    const int wake = tty::makeWakeDescriptor();
    if (copy < 0 || wake < 0) {
        tty::closeDescriptor(copy);
        tty::closeDescriptor(wake);
        return nullptr;
    }
    session_ = std::make_shared<DescriptorSession>(copy, wake);
    originalOptions_ = found;
    options_ = found;
    fileHandle_ = std::move(handle);
    fileDescriptor_.store(fd);
    return fileHandle_;
}

void VXSerialPort::close() {
    if (fileDescriptor_.load() < 0) {
        return;
    }
    std::lock_guard lock(closeLock_);
    if (!fileHandle_) {
        return;  // closed by another thread meanwhile
    }
    const int fd = fileHandle_->fileDescriptor();
    // Best effort: a device that has gone takes neither, and is closed all the same.
    tty::setNonBlocking(fd);
    tty::applyTo(fd, originalOptions_);
    fileHandle_->closeFile();
    fileHandle_.reset();
    fileDescriptor_.store(-1);
    // Ends every wait on the port; the session's descriptors go when its last
    // user lets go of it.
    tty::fireWakeDescriptor(session_->wakeFd);
    session_.reset();
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

bool VXSerialPort::drainInput() {
    return tty::drain(fileDescriptor_.load()) == 0;
}

bool VXSerialPort::flushInputOutput(bool input, bool output) {
    return tty::flush(fileDescriptor_.load(), input, output) == 0;
}

bool VXSerialPort::sendBreak() {
    return tty::sendBreak(fileDescriptor_.load()) == 0;
}

bool VXSerialPort::setDTR() {
    return tty::setDTR(fileDescriptor_.load(), true) == 0;
}

bool VXSerialPort::clearDTR() {
    return tty::setDTR(fileDescriptor_.load(), false) == 0;
}

}  // namespace zorvan::serial
