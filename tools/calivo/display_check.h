#pragma once

#include <string>

namespace zorvan::calivo {

// Whether Qt will find a display to show the targets on. Qt aborts the
// process when its X11 platform cannot connect, so this asks first: for X11
// (the default without Wayland) by connecting to the server named by
// DISPLAY. Another platform chosen in QT_QPA_PLATFORM (offscreen, eglfs, ...)
// is taken at its word. `why` says what is missing.
bool displayAvailable(std::string& why);

}  // namespace zorvan::calivo
