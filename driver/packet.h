#pragma once

#include <array>
#include <cstdint>

namespace zorvan {

// The fixed unit the board sends and receives.
using Packet = std::array<std::uint8_t, 8>;

inline constexpr std::uint8_t Data_Head = 0xEE;

}  // namespace zorvan
