#pragma once

#include <cstdint>
#include <functional>

#include "calibration/calibration_tables.h"
#include "driver/board_status.h"
#include "driver/decoder_state.h"
#include "driver/packet.h"
#include "driver/packet_decoder.h"
#include "driver/packet_handler.h"
#include "pointer/button_tracking_sink.h"
#include "pointer/gesture_engine.h"
#include "pointer/mouse_event.h"

namespace zorvan {

// The road from a whole board packet to pointer events: the decoder, the
// calibration tables it and the gesture engine read, and the engine itself.
// Everything here belongs to the reader thread; the tables are rewritten only
// by the calibration load on that same thread.
class BoardInput : public PacketHandler {
  public:
    BoardInput(MouseEventSink& sink, std::function<void()> startCalivo,
               GestureEngine::Clock clock = GestureEngine::monotonicNow);

    BoardInput(const BoardInput&) = delete;
    BoardInput& operator=(const BoardInput&) = delete;

    void decode(const Packet& packet, std::int32_t& iDownSkip) {
        decoder_.decode(packet, iDownSkip);
    }
    void handlePacket(const Packet& packet, std::int32_t& iDownSkip) override;
    // A left button still pressed (a stroke whose lift was lost, or the pen's
    // double-click command without its second half) is released at the last
    // point, and the next sample starts a new press.
    void releaseHeldContact() override;

    // Where the board's mode is published for the window after each mode
    // packet (null: nowhere). Set before the reader starts.
    void publishStatusTo(BoardStatus* status) { status_ = status; }

    // Re-arms the soft-key hold from outside the packet stream. Any thread:
    // the flag is the one piece of decoder state the GUI thread may touch.
    void btnCheck() { decoderState_.bptBtnRun.store(true, std::memory_order_relaxed); }

    CalibrationTables& tables() { return tables_; }
    DecoderState& decoderState() { return decoderState_; }
    GestureEngine& gestures() { return gestures_; }

  private:
    CalibrationTables tables_;
    DecoderState decoderState_;
    ButtonTrackingSink buttons_;
    GestureEngine gestures_;
    PacketDecoder decoder_;
    BoardStatus* status_ = nullptr;
};

}  // namespace zorvan
