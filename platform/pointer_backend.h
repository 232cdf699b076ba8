#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "calibration/main_display.h"
#include "pointer/mouse_event.h"

namespace zorvan {

// Where synthesized pointer events go.
enum class PointerBackend {
    Auto,    // uinput if it can be opened, else xtest if DISPLAY is reachable, else log
    Uinput,  // a virtual absolute pointer (X11 and Wayland)
    Xtest,   // XTest on the X server named by DISPLAY
    Log,     // one text line per event
};

// "auto", "uinput", "xtest" or "log"; anything else is nullopt.
std::optional<PointerBackend> parsePointerBackend(std::string_view text);
std::string_view pointerBackendName(PointerBackend backend);

// Makes the sink for `backend`. `placement` is where the board's screen lies
// on the desktop (the uinput axes span the desktop; XTest moves on the root
// window); later calibration loads update it through place(). `logPath` is
// where the log backend writes, empty for stdout; if it can't be opened the
// log goes to stdout instead. Never null: an explicitly chosen backend that
// can't work is still returned and drops every event, saying why once on
// stderr. `description` receives one line saying which backend was chosen and
// why, for the log view and stderr.
std::unique_ptr<MouseEventSink> makePointerSink(PointerBackend backend,
                                                const ScreenPlacement& placement,
                                                const std::string& logPath,
                                                std::string& description);
// The same for a lone screen of `size` pixels.
std::unique_ptr<MouseEventSink> makePointerSink(PointerBackend backend, DisplaySize size,
                                                const std::string& logPath,
                                                std::string& description);

// The sink for `backend` and, when a backend named explicitly cannot be used,
// why and what cures it: a driver asked for uinput or xtest that would only
// drop events says so and stops instead. `auto` is never refused.
struct PointerSinkChoice {
    std::unique_ptr<MouseEventSink> sink;
    std::string description;  // as makePointerSink
    std::string refusal;      // empty: usable
};
PointerSinkChoice choosePointerSink(PointerBackend backend, const ScreenPlacement& placement,
                                    const std::string& logPath);

}  // namespace zorvan
