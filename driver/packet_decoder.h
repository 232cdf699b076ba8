#pragma once

#include <cstdint>
#include <functional>

#include "calibration/calibration_tables.h"
#include "calibration/points.h"
#include "driver/decoder_state.h"
#include "driver/packet.h"
#include "pointer/mouse_event.h"

namespace zorvan {

// Turns whole board packets into effects: mode changes, positions for the
// gesture engine, the pen's click commands, and calibration requests.
// Runs on the reader thread only.
class PacketDecoder {
  public:
    struct Actions {
        // The gesture engine's entry: raw x, y and whether the contact is down.
        std::function<void(float x, float y, bool down)> boardMouse;
        // Raw to screen mapping, for the click commands that bypass the gestures.
        std::function<ScreenPoint(float x, float y)> map;
        // Signal or launch the calibration tool.
        std::function<void()> startCalivo;
    };

    PacketDecoder(DecoderState& state, const CalibrationTables& tables, MouseEventSink& sink,
                  Actions actions);

    // Decodes one packet. iDownSkip belongs to the reader thread and counts the
    // down packets dropped since it started or since the last acted-on lift.
    void decode(const Packet& packet, std::int32_t& iDownSkip);

    // The raw position of a data packet in the mode's axis order.
    static RawPoint rawPosition(const Packet& packet, bool touchMode);

  private:
    void decodeMode(const Packet& packet);
    void decodeTouch(std::uint8_t code, RawPoint raw, std::int32_t& iDownSkip);
    void decodePen(std::uint8_t code, RawPoint raw, std::int32_t& iDownSkip);
    void handleDown(RawPoint raw, std::int32_t& iDownSkip);
    bool hitsSoftKey(RawPoint raw) const;
    void countSoftKeyHit(std::int32_t limit);

    DecoderState& state_;
    const CalibrationTables& tables_;
    MouseEventSink& sink_;
    Actions actions_;
};

}  // namespace zorvan
