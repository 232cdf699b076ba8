#pragma once

#include <cstdint>

namespace zorvan {

struct DisplaySize {
    std::uint32_t width = 0;   // device pixels
    std::uint32_t height = 0;  // device pixels
    friend bool operator==(const DisplaySize&, const DisplaySize&) = default;
};

// The main display as seen from the reader thread. Implementations hand out a
// consistent snapshot; callable from any thread.
class MainDisplay {
  public:
    virtual ~MainDisplay() = default;
    virtual DisplaySize pixelSize() const = 0;
};

}  // namespace zorvan
