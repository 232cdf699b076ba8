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
};

}  // namespace zorvan
