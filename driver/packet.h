#pragma once

#include <array>
#include <cstdint>

namespace zorvan {

// The fixed unit the board sends and receives.
using Packet = std::array<std::uint8_t, 8>;

inline constexpr std::uint8_t Data_Head = 0xEE;

// A data packet as the board sends it: the event code, then the coordinates
// A and B (0..4095), each as two 6-bit groups, high first. Which of A and B is
// x depends on the board's mode.
constexpr Packet makeDataPacket(std::uint8_t code, int a, int b) {
    const auto high = [](int v) { return static_cast<std::uint8_t>((v >> 6) & 0x3F); };
    const auto low = [](int v) { return static_cast<std::uint8_t>(v & 0x3F); };
    return Packet{Data_Head, 0x00, code, high(a), low(a), high(b), low(b), 0x00};
}

}  // namespace zorvan
