#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "calibration/points.h"

namespace zorvan::fuzz {

// Takes values off the front of a fuzz input; zeros once it runs out.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <typename T>
    T take() {
        T value{};
        const std::size_t n = std::min(sizeof value, size_ - at_);
        std::memcpy(&value, data_ + at_, n);
        at_ += n;
        return value;
    }

    // A value in the board's range and a little beyond, in eighths, mostly;
    // the sentinel -32768 is followed by any float at all (NaN, infinities,
    // denormals, huge values), so both kinds of table are reachable.
    float value() {
        const auto v = take<std::int16_t>();
        if (v == INT16_MIN) {
            return take<float>();
        }
        return static_cast<float>(v) / 8.0f;
    }

    bool empty() const { return at_ >= size_; }
    std::span<const std::uint8_t> rest() const { return {data_ + at_, size_ - at_}; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A broken invariant is a finding: say which, then abort so that libFuzzer
// keeps the input and the replay test fails.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
        std::abort();
    }
}

inline bool onScreen(ScreenPoint p, float width, float height) {
    return std::isfinite(p.x) && std::isfinite(p.y) && p.x >= 0 && p.y >= 0 && p.x <= width &&
           p.y <= height;
}

}  // namespace zorvan::fuzz
