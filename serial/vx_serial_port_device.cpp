// Opening, closing and line control: the port's use of its descriptor.
#include <memory>

#include "serial/tty_device.h"
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
