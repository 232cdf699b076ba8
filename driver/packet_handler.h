#pragma once

#include <cstdint>

#include "driver/packet.h"

namespace zorvan {

// Receives every whole board packet on the reader thread, in order of
// arrival, together with the reader thread's down-packet skip count, which
// starts at 0 with each reader thread.
class PacketHandler {
  public:
    virtual ~PacketHandler() = default;
    virtual void handlePacket(const Packet& packet, std::int32_t& iDownSkip) = 0;
    // The board fell silent (about 1.5 s without a packet) or the reader is
    // stopping. A board that holds a contact sends samples all the time, so
    // whatever is still pressed now is let go.
    virtual void releaseHeldContact() {}
};

}  // namespace zorvan
