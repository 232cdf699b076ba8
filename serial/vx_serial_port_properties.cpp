// The device's registry properties.
#include "serial/vx_serial_port.h"
#include "serial/vx_serial_port_list.h"

namespace zorvan::serial {

std::optional<PortProperties> VXSerialPort::properties() const {
    return VXSerialPortList::registryProperties(serviceName_);
}

}  // namespace zorvan::serial
