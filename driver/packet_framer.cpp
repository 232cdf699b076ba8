#include "driver/packet_framer.h"

#include "driver/mode_signatures.h"

namespace zorvan {

bool PacketFramer::isHead(std::uint8_t b0) {
    if (b0 == Data_Head) {
        return true;
    }
    for (const ModeSignature& signature : kModeSignatures) {
        if (signature.bytes[0] == b0) {
            return true;
        }
    }
    return false;
}

bool PacketFramer::isHead(std::uint8_t b0, std::uint8_t b1) {
    return b0 == Data_Head || findModeSignature(b0, b1) != nullptr;
}

std::size_t PacketFramer::skipToHead(std::size_t start) {
    while (start < pending_.size()) {
        const std::uint8_t b0 = pending_[start];
        const bool last = start + 1 == pending_.size();
        if (last ? isHead(b0) : isHead(b0, pending_[start + 1])) {
            break;
        }
        ++start;
        ++discarded_;
    }
    return start;
}

}  // namespace zorvan
