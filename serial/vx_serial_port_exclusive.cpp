// Exclusive access and the advisory lock shared with the board driver.
#include <errno.h>

#include <utility>

#include "serial/descriptor_session.h"
#include "serial/tty_device.h"
#include "serial/vx_serial_port.h"

namespace zorvan::serial {

bool VXSerialPort::setExclusiveAccess(bool on) {
    const auto session = this->session();
    if (session && control_->setExclusive(session->fd, on) != 0) {
        return false;
    }
    exclusive_.store(on);
    return true;
}

bool VXSerialPort::lockPort(SerialError* error) {
    const auto session = this->session();
    SerialError result{VXSerialErrorDomain, VXSerialErrorNone, {}};
    if (!session) {
        result.code = VXSerialErrorTransferFailed;
        result.userInfo[VXUnderlyingErrorKey] =
            std::make_shared<const SerialError>(SerialError::posix(EBADF));
    } else {
        std::optional<PortLockHolder> holder;
        if (lockDevice(session->fd, holder) == PortLock::Held) {
            result.code = VXSerialErrorPortLocked;
            if (holder) {
                result.userInfo[VXLockHolderPidKey] = static_cast<std::int64_t>(holder->pid);
            }
        } else {
            locked_.store(true);
        }
    }
    const bool locked = result.code == VXSerialErrorNone;
    if (error != nullptr) {
        *error = std::move(result);
    }
    return locked;
}

void VXSerialPort::unlockPort() {
    if (const auto session = this->session()) {
        unlockDevice(session->fd);
    }
    locked_.store(false);
}

std::optional<PortLockHolder> VXSerialPort::lockHolder() const {
    return lockHolderOfPath(bsdPath_);
}

}  // namespace zorvan::serial
