#include "pointer/gesture_engine.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "pointer/mouse_primitives.h"

namespace zorvan {

namespace {

// |q - c| < h on both axes. The differences of two floats are exact in
// double, so no rounding can move a point across the edge; NaN is outside.
bool inBox(ScreenPoint q, ScreenPoint c, double h) {
    return std::fabs(static_cast<double>(q.x) - static_cast<double>(c.x)) < h &&
           std::fabs(static_cast<double>(q.y) - static_cast<double>(c.y)) < h;
}

// New sample weighs 0.6, the reference 0.4; formed in double, stored as float.
ScreenPoint smooth(ScreenPoint p, ScreenPoint r) {
    return ScreenPoint{
        static_cast<float>(0.6 * static_cast<double>(p.x) + 0.4 * static_cast<double>(r.x)),
        static_cast<float>(0.6 * static_cast<double>(p.y) + 0.4 * static_cast<double>(r.y))};
}

}  // namespace

std::chrono::nanoseconds GestureEngine::monotonicNow() {
    return std::chrono::steady_clock::now().time_since_epoch();
}

GestureEngine::GestureEngine(Mapper map, const CalibrationTables& tables, const bool& bTouch,
                             MouseEventSink& sink, Clock clock)
    : map_(std::move(map)),
      tables_(tables),
      bTouch_(bTouch),
      sink_(sink),
      clock_(std::move(clock)) {}

void GestureEngine::BoardMouse(float x, float y, bool down) {
    // Releases are mapped too: the release point decides the double click.
    const ScreenPoint p = map_(x, y);
    if (down) {
        sample(p);
    } else {
        release(p);
    }
}

void GestureEngine::release(ScreenPoint p) {
    GestureState& s = state_;
    if (s.Dn2 == 0) {
        return;
    }
    if (s.Up_Count >= 2) {
        s.Up_Count = 0;
        if (inBox(p, s.ptLastUP, DCIL_DIS_LIMIT)) {
            if (Time_Double_Click > clock_() - s.Time_Last_Click) {
                MouseDoubleClick(sink_, p);
            }
        }
    }
    s.ptLastUP = p;
    MouseLeftUp(sink_, p);
    s.MidFlag = false;
    s.Dn2 = 0;
    s.T_DATA_COUNT = 0;
    s.E_DATA_COUNT = 0;
    s.Up_Count += 1;
    s.Time_Last_Click = clock_();
}

void GestureEngine::forgetContact() {
    GestureState& s = state_;
    s.Dn2 = 0;
    s.MidFlag = false;
    s.T_DATA_COUNT = 0;
    s.E_DATA_COUNT = 0;
}

void GestureEngine::sample(ScreenPoint p) {
    GestureState& s = state_;
    if (s.Dn2 == 0) {
        MouseLeftDown(sink_, p);
        s.Dn2 = 1;
        s.ptLast = p;
        return;
    }
    const bool touch = bTouch_;
    if (inBox(p, s.ptLast, DISTANCE_LIMIT)) {
        // The box stays on the press point; samples outside it keep the counts.
        if (touch) {
            s.T_DATA_COUNT += 1;
            s.E_DATA_COUNT = 0;
        } else {
            s.E_DATA_COUNT += 1;
            s.T_DATA_COUNT = 0;
        }
    }
    if (s.T_DATA_COUNT > T_DATA_LIMIT || s.E_DATA_COUNT > E_DATA_LIMIT) {
        MouseLeftDown(sink_, p);
        MouseLeftUp(sink_, p);
        MouseRight(sink_, p);
        s.T_DATA_COUNT = 0;
        s.E_DATA_COUNT = 0;
        return;
    }
    if (touch) {
        Process_Data(p);
    } else {
        MouseRcDigital(p);
    }
}

void GestureEngine::Process_Data(ScreenPoint p) {
    GestureState& s = state_;
    if (!s.MidFlag) {
        s.MidFlag = true;
        s.ptUse = s.ptSave = p;
        if (s.bUP_ONE) {
            s.bUP_ONE = false;
            MouseLeftDown(sink_, p);
        }
        return;
    }
    if (s.UN_FIT_COUNT > 2) {
        // Three jumps in a row: the contact has moved for real. Let go where
        // the pointer is and press again at the next reference.
        s.bUP_ONE = true;
        s.UN_FIT_COUNT = 0;
        s.MidFlag = false;
        MouseLeftUp(sink_, s.ptUse);
        return;
    }
    if (inBox(p, s.ptSave, tables_.DIS_LIMIT)) {
        s.UN_FIT_COUNT = 0;
        s.ptUse = smooth(p, s.ptSave);
        s.ptSave = s.ptUse;
        MouseLeftMove(sink_, s.ptUse);
        return;
    }
    s.UN_FIT_COUNT += 1;
}

void GestureEngine::MouseRcDigital(ScreenPoint p) {
    GestureState& s = state_;
    if (!s.MidFlag) {
        s.MidFlag = true;
        s.ptUse = s.ptSave = p;
    } else {
        s.ptUse = smooth(p, s.ptSave);
        s.ptSave = s.ptUse;
    }
    MouseLeftMove(sink_, s.ptUse);
}

}  // namespace zorvan
