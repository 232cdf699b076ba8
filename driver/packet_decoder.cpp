#include "driver/packet_decoder.h"

#include <cmath>
#include <limits>
#include <utility>

#include "driver/mode_signatures.h"
#include "pointer/mouse_primitives.h"

namespace zorvan {
namespace {

// A coordinate is two 6-bit groups, high then low; the top two bits of each
// byte carry nothing.
float coordinate(std::uint8_t high, std::uint8_t low) {
    return static_cast<float>((high & 0x3F) * 64 + (low & 0x3F));
}

// |trunc(difference)| as a 32-bit integer. Key positions come from a store
// the user can edit by hand, so an out-of-range or NaN difference counts as
// far away instead of reaching an undefined float-to-int conversion.
std::int32_t truncatedDistance(float difference) {
    constexpr float kLimit = 2147483520.0f;  // largest float below 2^31
    const float magnitude = std::fabs(difference);
    if (!(magnitude < kLimit)) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(magnitude);
}

}  // namespace

PacketDecoder::PacketDecoder(DecoderState& state, const CalibrationTables& tables,
                             MouseEventSink& sink, Actions actions)
    : state_(state), tables_(tables), sink_(sink), actions_(std::move(actions)) {}

RawPoint PacketDecoder::rawPosition(const Packet& packet, bool touchMode) {
    const float a = coordinate(packet[3], packet[4]);
    const float b = coordinate(packet[5], packet[6]);
    return touchMode ? RawPoint{b, a} : RawPoint{a, b};
}

void PacketDecoder::decode(const Packet& packet, std::int32_t& iDownSkip) {
    if (packet[0] != Data_Head) {
        decodeMode(packet);
        return;
    }
    const std::uint8_t code = packet[2];
    const RawPoint raw = rawPosition(packet, state_.bTouch);
    if (state_.bTouch) {
        decodeTouch(code, raw, iDownSkip);
    } else {
        decodePen(code, raw, iDownSkip);
    }
}

void PacketDecoder::decodeMode(const Packet& packet) {
    // Counts, click phases and the hold stay as they are: a mode packet in the
    // middle of a stroke does not restart it.
    if (const ModeSignature* signature = findModeSignature(packet[0], packet[1])) {
        state_.bTouch = signature->bTouch;
        state_.bSofeKey = signature->bSofeKey;
    }
}

void PacketDecoder::decodeTouch(std::uint8_t code, RawPoint raw, std::int32_t& iDownSkip) {
    switch (code) {
        case T_DOWN:
            handleDown(raw, iDownSkip);
            break;
        case T_UP:
            // The frame repeats its lift; only every third one ends the stroke.
            if (++state_.T_UPCount != 3) {
                break;
            }
            state_.T_UPCount = 0;
            actions_.boardMouse(raw.x, raw.y, false);
            state_.bptBtnRun.store(true, std::memory_order_relaxed);
            state_.btnData = 0;
            iDownSkip = 0;
            break;
        case T_CMD_CALIVO:
            actions_.startCalivo();
            break;
        default:
            break;
    }
}

void PacketDecoder::decodePen(std::uint8_t code, RawPoint raw, std::int32_t& iDownSkip) {
    switch (code) {
        case E_DOWN:
            handleDown(raw, iDownSkip);
            break;
        case E_UP:
            // Unlike touch, btnData survives a pen lift: hits of separate
            // presses add up toward the hold.
            actions_.boardMouse(raw.x, raw.y, false);
            state_.bptBtnRun.store(true, std::memory_order_relaxed);
            iDownSkip = 0;
            break;
        case E_CMD_CALIVO:
        case E_CMD_CALIVO2:
        case E_CMD_CALIVO3:
            actions_.startCalivo();
            break;
        case E_KEY1: {
            // A pair of commands: the first presses, the second double-clicks.
            const ScreenPoint point = actions_.map(raw.x, raw.y);
            if (state_.iDClick == 0) {
                MouseLeftDown(sink_, point);
                state_.iDClick = 1;
            } else {
                state_.iDClick = 0;
                MouseDoubleClick(sink_, point);
            }
            break;
        }
        case E_KEY2:
            // One right click for every two commands.
            if (state_.iClick == 0) {
                MouseRight(sink_, actions_.map(raw.x, raw.y));
                state_.iClick = 1;
            } else {
                state_.iClick = 0;
            }
            break;
        default:
            break;
    }
}

void PacketDecoder::handleDown(RawPoint raw, std::int32_t& iDownSkip) {
    if (skipLeadingDown(iDownSkip)) {
        return;
    }
    if (!state_.bSofeKey || !hitsSoftKey(raw)) {
        actions_.boardMouse(raw.x, raw.y, true);
        return;
    }
    countSoftKeyHit(state_.bTouch ? btnDataLimit : btnDataLimitE);
}

bool PacketDecoder::hitsSoftKey(RawPoint raw) const {
    const bool touch = state_.bTouch;
    const auto& keys = touch ? tables_.ptTBtn : tables_.ptEBtn;
    const std::int32_t tolerance = touch ? tables_.Btn_T : tables_.Btn_E;
    for (const int k : {12, 26}) {
        if (truncatedDistance(keys[k].x - raw.x) < tolerance &&
            truncatedDistance(keys[k].y - raw.y) < tolerance) {
            return true;
        }
    }
    return false;
}

void PacketDecoder::countSoftKeyHit(std::int32_t limit) {
    // A held key asks once for calibration; a lift or btnCheck() re-arms it.
    if (!state_.bptBtnRun.load(std::memory_order_relaxed)) {
        return;
    }
    if (++state_.btnData > limit) {
        state_.btnData = 0;
        actions_.startCalivo();
        state_.bptBtnRun.store(false, std::memory_order_relaxed);
    }
}

}  // namespace zorvan
