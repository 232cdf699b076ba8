#pragma once

#include <string>

#include "driver/log_writer.h"
#include "driver/packet_handler.h"

namespace zorvan {

// Stand-in decoder: logs each whole packet as "packet EE 00 51 ...".
class LoggingPacketHandler final : public PacketHandler {
  public:
    explicit LoggingPacketHandler(LogWriter log) : log_(std::move(log)) {}
    void handlePacket(const Packet& packet, std::int32_t& iDownSkip) override;

  private:
    LogWriter log_;
};

// "EE 00 51 10 00 20 00 00": the bytes in upper-case hex, space separated.
std::string packetHex(const Packet& packet);

}  // namespace zorvan
