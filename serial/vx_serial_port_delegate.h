#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zorvan::serial {

class VXSerialPort;

// What a background read hands over: the port and the chunk read (may be empty).
struct VXSerialReadReport {
    std::shared_ptr<VXSerialPort> serialPort;
    std::vector<std::uint8_t> data;
};

// How far a background write has come: bytes written so far of total.
struct VXSerialWriteProgress {
    std::shared_ptr<VXSerialPort> serialPort;
    std::uint64_t value = 0;
    std::uint64_t total = 0;
};

// A port's delegate. It declares which reports it takes by the interfaces it
// implements: VXSerialPortReadDelegate for background read data,
// VXSerialPortWriteDelegate for background write progress, or both. A port
// starts background work only for a delegate that takes its reports. Reports
// arrive on the loop's thread of the port's run loop.
class VXSerialPortDelegate {
  public:
    virtual ~VXSerialPortDelegate() = default;
};

class VXSerialPortReadDelegate : public virtual VXSerialPortDelegate {
  public:
    virtual void serialPortReadData(const VXSerialReadReport& report) = 0;
};

class VXSerialPortWriteDelegate : public virtual VXSerialPortDelegate {
  public:
    virtual void serialPortWriteProgress(const VXSerialWriteProgress& progress) = 0;
};

}  // namespace zorvan::serial
