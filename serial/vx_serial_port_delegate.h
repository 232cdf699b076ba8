#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace zorvan::serial {

// @addtogroup ports
// @{

class VXSerialPort;

// What a background read hands over: the port and the chunk read (may be empty).
struct VXSerialReadReport {
    std::shared_ptr<VXSerialPort> serialPort;  // the port that read
    std::vector<std::uint8_t> data;            // empty when the wait or the read failed
};

// How far a background write has come: bytes written so far of total.
struct VXSerialWriteProgress {
    std::shared_ptr<VXSerialPort> serialPort;  // the port that writes
    std::uint64_t value = 0;                   // bytes written so far
    std::uint64_t total = 0;                   // bytes to write in all
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

// A delegate that takes the chunks of background reads.
class VXSerialPortReadDelegate : public virtual VXSerialPortDelegate {
  public:
    // Called on the port's run loop with each chunk read (or an empty one).
    virtual void serialPortReadData(const VXSerialReadReport& report) = 0;
};

// A delegate that follows the progress of background writes.
class VXSerialPortWriteDelegate : public virtual VXSerialPortDelegate {
  public:
    // Called on the port's run loop as a background write goes on.
    virtual void serialPortWriteProgress(const VXSerialWriteProgress& progress) = 0;
};

// @}

}  // namespace zorvan::serial
