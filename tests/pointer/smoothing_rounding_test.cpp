// The smoothing must round like the plain expression: each product to double,
// their sum to double, then to float. A build that fuses a product and the sum
// into one multiply-add rounds once less and differs in the last bit for the
// inputs below. This file is built twice: against the pointer module as
// configured, and against a copy compiled for FMA hardware.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "pointer/gesture_engine.h"
#include "pointer/recording_sink.h"

namespace zorvan {
namespace {

// Through volatile, so no compiler can fuse the reference.
float smoothedReference(float p, float r) {
    volatile double weightedSample = 0.6 * static_cast<double>(p);
    volatile double weightedReference = 0.4 * static_cast<double>(r);
    return static_cast<float>(weightedSample + weightedReference);
}

// Each pair (sample, reference) is one where a fused step changes the float.
struct Pair {
    float p;
    float r;
};
// fma(0.6, p, 0.4 * r) differs on these...
constexpr Pair kSampleFused[] = {{0x1.bf63bep+9f, 0x1.b3cb1ap+11f},
                                 {0x1.e41178p+11f, 0x1.f2512cp+8f},
                                 {0x1.c99fap+8f, 0x1.2459fcp+5f}};
// ...and fma(0.4, r, 0.6 * p) on these.
constexpr Pair kReferenceFused[] = {{0x1.3eb08cp+8f, 0x1.88eec6p+11f},
                                    {0x1.4c810cp+11f, 0x1.91e73ep+8f},
                                    {0x1.97733cp+8f, 0x1.99ae56p+11f}};

TEST(SmoothingRounding, TheTablesHoldInputsThatAFusedStepWouldChange) {
    for (const Pair& c : kSampleFused) {
        const double other = 0.4 * static_cast<double>(c.r);
        EXPECT_NE(static_cast<float>(std::fma(0.6, static_cast<double>(c.p), other)),
                  smoothedReference(c.p, c.r));
    }
    for (const Pair& c : kReferenceFused) {
        const double other = 0.6 * static_cast<double>(c.p);
        EXPECT_NE(static_cast<float>(std::fma(0.4, static_cast<double>(c.r), other)),
                  smoothedReference(c.p, c.r));
    }
}

TEST(SmoothingRounding, PenDragsAreSmoothedWithoutFusedMultiplyAdd) {
#ifdef ZORVAN_NEEDS_FMA_CPU
    if (!__builtin_cpu_supports("fma")) {
        GTEST_SKIP() << "this CPU has no FMA instructions to run the FMA build on";
    }
#endif
    // One pair on x and one on y: pen mode posts the first sample as it is,
    // the next one smoothed against it.
    for (std::size_t i = 0; i < std::size(kSampleFused); ++i) {
        const Pair x = kSampleFused[i];
        const Pair y = kReferenceFused[i];
        CalibrationTables tables;
        bool bTouch = false;
        RecordingSink sink;
        GestureEngine engine(
            [](float px, float py) {
                return ScreenPoint{px, py};
            },
            tables, bTouch, sink, [] { return std::chrono::nanoseconds{0}; });
        engine.BoardMouse(x.r, y.r, true);  // press
        engine.BoardMouse(x.r, y.r, true);  // the reference
        engine.BoardMouse(x.p, y.p, true);  // smoothed
        ASSERT_EQ(sink.events.size(), 3u);
        const ScreenPoint smoothed = sink.events[2].point;
        EXPECT_EQ(smoothed.x, smoothedReference(x.p, x.r)) << std::hexfloat << x.p << " " << x.r;
        EXPECT_EQ(smoothed.y, smoothedReference(y.p, y.r)) << std::hexfloat << y.p << " " << y.r;
    }
}

}  // namespace
}  // namespace zorvan
