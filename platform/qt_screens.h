#pragma once

#include <string>
#include <vector>

#include "platform/screen_layout.h"

class QScreen;

namespace zorvan {

// The screens as Qt sees them now, in desktop coordinates (GUI thread; needs a
// QGuiApplication). On X11 these are root-window pixels: Qt keeps each
// screen's top left there and scales only the size, which the device pixel
// ratio undoes. On Wayland they are the compositor's logical pixels, the
// space over which it spreads an absolute pointer.
std::vector<ScreenInfo> currentScreens();

// The board's screen as a QScreen, chosen as chooseBoardScreen does: the one
// named `requested`, else the primary. Null without screens. GUI thread. For
// the calibration tool, which shows its targets there:
//   boardQScreen(requestedScreen(store, commandLineScreen))
QScreen* boardQScreen(const std::string& requested);

}  // namespace zorvan
