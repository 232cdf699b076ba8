#pragma once

#include <chrono>
#include <functional>

#include "calibration/calibration_tables.h"
#include "calibration/points.h"
#include "pointer/gesture_state.h"
#include "pointer/mouse_event.h"

namespace zorvan {

// Turns the board's stream of positions and releases into pointer actions:
// press at first contact, smoothed drags, release, a double click on the third
// close release in time, a right click for a contact held still. Touch mode
// also rejects jumps; a run of them forces a release and a new press.
//
// Contact states, read from Dn2 and MidFlag (pointer/README.md has every
// transition):
//
//   Idle ---- sample: left down ----> Pressed ---- sample: reference ----> Tracking
//    ^  (Dn2 0)                       (Dn2 1)  <--- touch, 4th sample ---  (Dn2 1,
//    |                                             after 3 jumps: left     MidFlag)
//    |                                             up at ptUse               |
//    +---------------- release from Pressed or Tracking: left up ------------+
//
// A held contact (91st touch or 61st pen sample in the hold box) posts a right
// click in either contact state and stays there.
//
// Single-threaded: drive it from the reader thread only. The tables and the
// mode flag are read afresh at every sample, so a calibration load or a mode
// packet takes effect at once.
class GestureEngine {
  public:
    // Raw board coordinate to screen point.
    using Mapper = std::function<ScreenPoint(float x, float y)>;
    // A monotonic clock's reading; injectable so tests can set it.
    using Clock = std::function<std::chrono::nanoseconds()>;
    static std::chrono::nanoseconds monotonicNow();

    GestureEngine(Mapper map, const CalibrationTables& tables, const bool& bTouch,
                  MouseEventSink& sink, Clock clock = monotonicNow);

    // One decoded board position (down) or release (!down), raw coordinates.
    void BoardMouse(float x, float y, bool down);
    // The board stopped sending while a contact is down (a lost lift, the
    // board gone or silent): the contact is over, and the next sample presses
    // anew. Posts nothing; the caller lets go of the button. The double-click
    // bookkeeping is left alone, since no tap ended here.
    void forgetContact();
    // Touch-mode movement filter.
    void Process_Data(ScreenPoint p);
    // Pen-mode movement filter.
    void MouseRcDigital(ScreenPoint p);

    GestureState& state() { return state_; }
    const GestureState& state() const { return state_; }

  private:
    void release(ScreenPoint p);
    void sample(ScreenPoint p);

    Mapper map_;
    const CalibrationTables& tables_;
    const bool& bTouch_;
    MouseEventSink& sink_;
    Clock clock_;
    GestureState state_;
};

}  // namespace zorvan
