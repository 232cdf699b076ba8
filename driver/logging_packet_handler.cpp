#include "driver/logging_packet_handler.h"

namespace zorvan {

std::string packetHex(const Packet& packet) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(packet.size() * 3);
    for (const std::uint8_t byte : packet) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

void LoggingPacketHandler::handlePacket(const Packet& packet, std::int32_t& /*iDownSkip*/) {
    if (log_) {
        log_("packet " + packetHex(packet));
    }
}

}  // namespace zorvan
