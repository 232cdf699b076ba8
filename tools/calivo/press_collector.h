#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "calibration/points.h"
#include "driver/packet.h"

namespace zorvan::calivo {

// How steady a press must be to count.
struct PressLimits {
    // Samples kept after the three dropped down packets.
    int minSamples = 5;
    // Largest distance from the press's median, on either axis and in raw
    // units, of all samples but the farthest fifth: a spike or two is
    // absorbed by the median, a press that slides is not.
    float maxWander = 60.0f;
};

enum class PressFault {
    None,
    TooShort,     // fewer than minSamples samples
    Wandered,     // more than a fifth of the samples strayed further than maxWander
    ModeChanged,  // the board switched between touch and pen in the middle
};

// One press from the first down packet to the lift.
struct Press {
    PressFault fault = PressFault::None;
    RawPoint median;      // per axis, of the kept samples
    bool touch = false;   // the board's mode during the press
    int samples = 0;      // kept samples
    float wander = 0.0f;  // the spread judged against maxWander
};

// The median of each axis on its own; the mean of the two middle values for
// an even count. Empty input gives (0, 0).
RawPoint medianOf(std::vector<RawPoint> samples);

// Judges the kept samples of a press.
Press judgePress(const std::vector<RawPoint>& samples, bool touch, const PressLimits& limits);

// Follows the board's packets the way the driver reads them (mode packets set
// touch or pen mode and so the axis order; the first three down packets of a
// press are dropped) and yields one Press at every lift. The first up packet
// ends a press: a touch frame repeats its lift, and the repeats, like up
// packets without a press, are ignored. Plain logic, one owning thread.
class PressCollector {
  public:
    explicit PressCollector(PressLimits limits = {}) : limits_(limits) {}

    // A whole packet; a finished press when this one ended it.
    std::optional<Press> push(const Packet& packet);

    // Forgets a press under way (a restart); the mode is kept.
    void reset();

    bool touchMode() const { return touch_; }
    bool pressing() const { return pressing_; }
    // Samples kept so far of the press under way.
    int samples() const { return static_cast<int>(samples_.size()); }
    const PressLimits& limits() const { return limits_; }

  private:
    PressLimits limits_;
    bool touch_ = false;  // pen mode until the board says otherwise, as in the driver
    bool pressing_ = false;
    bool modeChanged_ = false;
    std::int32_t downSkip_ = 0;
    std::vector<RawPoint> samples_;
};

}  // namespace zorvan::calivo
