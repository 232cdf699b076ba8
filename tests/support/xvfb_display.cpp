#include "tests/support/xvfb_display.h"

#include "tests/support/display_server.h"

namespace zorvan::test {

XvfbDisplay::XvfbDisplay(int width, int height) {
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    DisplayServer server = startDisplayServer(
        {"Xvfb", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, std::chrono::seconds(10));
    pid_ = server.pid;
    why_ = server.why;
    if (pid_ > 0 && server.number.empty()) {
        why_ = "Xvfb did not report a display";
        stop();
    } else if (pid_ > 0) {
        name_ = ":" + server.number;
    }
}

XvfbDisplay::~XvfbDisplay() {
    stop();
}

void XvfbDisplay::stop() {
    stopDisplayServer(pid_);
}

}  // namespace zorvan::test
