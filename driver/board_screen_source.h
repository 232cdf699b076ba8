#pragma once

#include <string>

#include "calibration/settings_store.h"
#include "pointer/screen_placement.h"

namespace zorvan {

// The settings key under which the calibration tool saves the screen the
// user picked for the board (a screen name such as "HDMI-1").
inline constexpr char kScreenKey[] = "Screen";

// The screen name asked for: `override` (the command line) if not empty,
// else what the store holds under "Screen"; empty asks for the primary.
inline std::string requestedScreen(SettingsStore& prefs, const std::string& override) {
    return override.empty() ? prefs.stringForKey(kScreenKey) : override;
}

// The screen the board is projected on, as one calibration load sees it.
struct BoardScreen {
    std::string name;           // the screen used; empty when there is none
    ScreenPlacement placement;  // its pixels and its place on the desktop
    // The screen that was asked for by name when it is not connected (the
    // primary stands in for it); empty otherwise.
    std::string missing;
    friend bool operator==(const BoardScreen&, const BoardScreen&) = default;
};

// Where the screens are now. Callable from any thread (the reader's loads).
class BoardScreenSource {
  public:
    virtual ~BoardScreenSource() = default;
    // The screen named `requested`, or the primary one when `requested` is
    // empty or not connected.
    virtual BoardScreen boardScreen(const std::string& requested) const = 0;
};

}  // namespace zorvan
