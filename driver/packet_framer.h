#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "driver/packet.h"

namespace zorvan {

// Cuts the byte stream of the board into whole 8-byte packets. A read may end
// in the middle of a packet; the rest waits here for the next read. After
// garbage or a lost byte the framer resynchronises on the next packet head:
// the data head 0xEE, or the first two bytes of a known mode signature.
// Plain logic, one owning thread.
class PacketFramer {
  public:
    // Appends bytes and calls onPacket(const Packet&) for every whole packet
    // now available, in order.
    template <typename OnPacket>
    void push(std::span<const std::uint8_t> bytes, OnPacket&& onPacket) {
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        std::size_t start = 0;
        for (;;) {
            start = skipToHead(start);
            if (pending_.size() - start < kPacketSize) {
                break;
            }
            Packet packet;
            for (std::size_t i = 0; i < kPacketSize; ++i) {
                packet[i] = pending_[start + i];
            }
            start += kPacketSize;
            ++packets_;
            onPacket(packet);
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(start));
    }

    // Drops an incomplete packet: after a long silence its rest is not coming.
    void clear() {
        discarded_ += pending_.size();
        pending_.clear();
    }

    // Bytes of an incomplete packet waiting for the rest.
    std::size_t pendingBytes() const { return pending_.size(); }
    // Bytes thrown away while searching for a packet head.
    std::uint64_t discardedBytes() const { return discarded_; }
    std::uint64_t packets() const { return packets_; }

    // Whether a packet may start with b0 (and b1, when known).
    static bool isHead(std::uint8_t b0);
    static bool isHead(std::uint8_t b0, std::uint8_t b1);

  private:
    static constexpr std::size_t kPacketSize = std::tuple_size_v<Packet>;

    // First index at or after start where a packet may begin; a lone last
    // byte that may begin a mode packet is kept until its second byte comes.
    std::size_t skipToHead(std::size_t start);

    std::vector<std::uint8_t> pending_;
    std::uint64_t discarded_ = 0;
    std::uint64_t packets_ = 0;
};

}  // namespace zorvan
