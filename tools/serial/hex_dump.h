#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace zorvan::serial_tool {

// Bytes as lines of up to 16: hex, then the same bytes as text (printable
// ASCII as itself, anything else '.'), each line after prefix(offset of its
// first byte) and ending in '\n':
//   "RX 48 69 0d 0a                                     Hi.."
std::string hexDump(std::span<const std::uint8_t> bytes,
                    const std::function<std::string(std::size_t)>& prefix);

}  // namespace zorvan::serial_tool
