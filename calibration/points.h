#pragma once

// A board position and a screen position are different things; keeping them
// apart in the type system stops a raw coordinate from being posted as pixels.

namespace zorvan {

// Raw board coordinate, 0..4095 on each axis, carried as floats once decoded.
struct RawPoint {
    float x = 0.0f;
    float y = 0.0f;
    friend bool operator==(const RawPoint&, const RawPoint&) = default;
};

// Main-display pixels, origin top left, y downward. Never rounded on its way
// from the mapping to the event backends.
struct ScreenPoint {
    float x = 0.0f;
    float y = 0.0f;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

}  // namespace zorvan
