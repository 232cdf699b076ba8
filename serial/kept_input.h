#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace zorvan::serial {

// Where a line ends in bytes: the length up to and including the first
// delimiter when it lies within limit bytes, limit when bytes hold that many
// without one, nullopt when more must come first. No delimiter: limit alone.
std::optional<std::size_t> lineEnd(std::span<const std::uint8_t> bytes,
                                   std::optional<char> delimiter, std::size_t limit);

// Input read from the device but not handed out yet: what followed a line's
// delimiter in its chunk. The next read of the port, of any kind, starts
// with it. Any thread.
class KeptInput {
  public:
    // All of it, leaving none.
    std::vector<std::uint8_t> takeAll();
    // Up to count bytes from the front.
    std::vector<std::uint8_t> take(std::size_t count);
    // Puts bytes back in front of what is kept (nothing is kept behind them
    // while a read runs, so the order is the device's).
    void putBack(std::vector<std::uint8_t> bytes);
    std::size_t size() const;
    void clear();

  private:
    mutable std::mutex lock_;
    std::vector<std::uint8_t> bytes_;  // under lock_
};

}  // namespace zorvan::serial
