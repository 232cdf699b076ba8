#include "tools/calivo/press_collector.h"

#include <algorithm>
#include <cmath>

#include "driver/decoder_state.h"
#include "driver/mode_signatures.h"
#include "driver/packet_decoder.h"

namespace zorvan::calivo {

namespace {

float medianOfAxis(std::vector<float>& values) {
    const std::size_t n = values.size();
    std::sort(values.begin(), values.end());
    if (n % 2 == 1) {
        return values[n / 2];
    }
    return (values[n / 2 - 1] + values[n / 2]) / 2.0f;
}

}  // namespace

RawPoint medianOf(std::vector<RawPoint> samples) {
    if (samples.empty()) {
        return {};
    }
    std::vector<float> xs, ys;
    xs.reserve(samples.size());
    ys.reserve(samples.size());
    for (const RawPoint& p : samples) {
        xs.push_back(p.x);
        ys.push_back(p.y);
    }
    return {medianOfAxis(xs), medianOfAxis(ys)};
}

Press judgePress(const std::vector<RawPoint>& samples, bool touch, const PressLimits& limits) {
    Press press;
    press.touch = touch;
    press.samples = static_cast<int>(samples.size());
    press.median = medianOf(samples);
    std::vector<float> deviations;
    deviations.reserve(samples.size());
    for (const RawPoint& p : samples) {
        deviations.push_back(
            std::max(std::fabs(p.x - press.median.x), std::fabs(p.y - press.median.y)));
    }
    if (!deviations.empty()) {
        // The deviation that four fifths of the samples stay within.
        const std::size_t kept = (deviations.size() * 4 + 4) / 5;
        std::nth_element(deviations.begin(), deviations.begin() + (kept - 1), deviations.end());
        press.wander = deviations[kept - 1];
    }
    if (press.samples < limits.minSamples) {
        press.fault = PressFault::TooShort;
    } else if (press.wander > limits.maxWander) {
        press.fault = PressFault::Wandered;
    }
    return press;
}

std::optional<Press> PressCollector::push(const Packet& packet) {
    if (packet[0] != Data_Head) {
        if (const ModeSignature* signature = findModeSignature(packet[0], packet[1])) {
            if (pressing_ && signature->bTouch != touch_) {
                modeChanged_ = true;
            }
            touch_ = signature->bTouch;
        }
        return std::nullopt;
    }
    // Down and up carry the same codes in both modes.
    switch (packet[2]) {
        case E_DOWN:
            pressing_ = true;
            if (!skipLeadingDown(downSkip_)) {
                samples_.push_back(PacketDecoder::rawPosition(packet, touch_));
            }
            return std::nullopt;
        case E_UP: {
            if (!pressing_) {
                return std::nullopt;
            }
            Press press = judgePress(samples_, touch_, limits_);
            if (modeChanged_) {
                press.fault = PressFault::ModeChanged;
            }
            reset();
            return press;
        }
        default:
            // Calibration and click commands mean nothing here.
            return std::nullopt;
    }
}

void PressCollector::reset() {
    pressing_ = false;
    modeChanged_ = false;
    downSkip_ = 0;
    samples_.clear();
}

}  // namespace zorvan::calivo
