#pragma once

#include <QApplication>
#include <cstdlib>

namespace zorvan::testing {

// One QApplication for the whole test binary, made on the main thread (where
// GoogleTest runs the tests) on first use. The platform comes from
// QT_QPA_PLATFORM (offscreen under ctest, and whenever there is no display).
inline QApplication& testApplication() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    static int argc = 1;
    static char name[] = "calibration_qt_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);  // lives to the end
    return *app;
}

}  // namespace zorvan::testing
