// Creation, identity, text form, delegate and soft ownership.
#include "serial/vx_serial_port.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "serial/background_jobs.h"
#include "serial/tty_device.h"

namespace zorvan::serial {

VXSerialPort::VXSerialPort(std::string path, std::string name, std::string type)
    : bsdPath_(std::move(path)),
      serviceName_(std::move(name)),
      serviceType_(std::move(type)),
      control_(tty::deviceControl()),
      creatorsLoop_(RunLoop::currentLoop()),
      jobs_(std::make_shared<BackgroundJobs>()) {}

VXSerialPort::~VXSerialPort() {
    // Its close ends the waits of jobs still running: they hold only the
    // session and the jobs' shared state, never the port.
    close();
    retireBackgroundWorkers();
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
    return delegate_.lock();
}

void VXSerialPort::setDelegate(const std::shared_ptr<VXSerialPortDelegate>& delegate) {
    // Cast here, on the caller's thread: the workers then never need a hold
    // on the delegate (and so never end its life off the loop's thread).
    auto reader = std::dynamic_pointer_cast<VXSerialPortReadDelegate>(delegate);
    auto writer = std::dynamic_pointer_cast<VXSerialPortWriteDelegate>(delegate);
    std::lock_guard lock(delegateLock_);
    if (delegate && delegate == delegate_.lock()) {
        return;
    }
    handlesRead_.store(reader != nullptr);
    handlesWrite_.store(writer != nullptr);
    delegate_ = delegate;
    readDelegate_ = reader;
    writeDelegate_ = writer;
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
