// Creation, identity, text form, delegate and soft ownership.
#include "serial/vx_serial_port.h"

#include <cstdint>
#include <cstdio>
#include <utility>

namespace zorvan::serial {

VXSerialPort::VXSerialPort(std::string path, std::string name, std::string type)
    : bsdPath_(std::move(path)), serviceName_(std::move(name)), serviceType_(std::move(type)) {}

VXSerialPort::~VXSerialPort() {
    close();
}

std::string VXSerialPort::description() const {
    std::string handleText = "(null)";
    int fd = -1;
    {
        std::lock_guard lock(closeLock_);
        if (fileHandle_) {
            handleText = fileHandle_->description();
        }
        fd = fileDescriptor_.load();
    }
    char address[2 * sizeof(std::uintptr_t) + 1];
    std::snprintf(address, sizeof address, "%jx",
                  static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(this)));
    return "<" + className() + ": " + address + " = name: " + serviceName_ + ", path: " + bsdPath_ +
           ", type: " + serviceType_ + ", fileHandle: " + handleText +
           ", fileDescriptor: " + std::to_string(fd) + ">";
}

std::size_t VXSerialPort::hash() const {
    return std::hash<std::string>{}(bsdPath_);
}

bool VXSerialPort::isEqual(const VXSerialPort& other) const {
    return bsdPath_ == other.bsdPath_;
}

std::shared_ptr<VXSerialPortDelegate> VXSerialPort::delegate() const {
    std::lock_guard lock(delegateLock_);
    return delegate_;
}

void VXSerialPort::setDelegate(std::shared_ptr<VXSerialPortDelegate> delegate) {
    std::shared_ptr<VXSerialPortDelegate> old;
    {
        std::lock_guard lock(delegateLock_);
        if (delegate == delegate_) {
            return;
        }
        handlesRead_.store(dynamic_cast<VXSerialPortReadDelegate*>(delegate.get()) != nullptr);
        handlesWrite_.store(dynamic_cast<VXSerialPortWriteDelegate*>(delegate.get()) != nullptr);
        old = std::exchange(delegate_, std::move(delegate));
    }
    // The old delegate is let go outside the lock: its destructor may use the port.
}

VXSerialPort* VXSerialPort::obtainBy(const void* owner) {
    if (owner_ != nullptr) {
        return nullptr;
    }
    owner_ = owner;
    return this;
}

void VXSerialPort::free() {
    owner_ = nullptr;
    close();
}

}  // namespace zorvan::serial
