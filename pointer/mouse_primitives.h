#pragma once

#include "calibration/points.h"
#include "pointer/mouse_event.h"

namespace zorvan {

// The only place where the driver makes pointer input. Each primitive posts a
// fixed sequence at one screen point, passed on exactly as given (never
// rounded), and looks at no button state. Reader thread only.

// left down
void MouseLeftDown(MouseEventSink& sink, ScreenPoint p);
// left up
void MouseLeftUp(MouseEventSink& sink, ScreenPoint p);
// left dragged: a move with the left button held, never a plain move
void MouseLeftMove(MouseEventSink& sink, ScreenPoint p);
// left up, right down, right up: safe while the left button is down
void MouseRight(MouseEventSink& sink, ScreenPoint p);
// left up, then left down and left up both with click state 2
void MouseDoubleClick(MouseEventSink& sink, ScreenPoint p);

}  // namespace zorvan
