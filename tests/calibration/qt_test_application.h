#pragma once

#include <QApplication>

namespace zorvan::testing {

// One QApplication for the whole test binary, made on the main thread (where
// GoogleTest runs the tests) on first use. The platform comes from
// QT_QPA_PLATFORM (offscreen under ctest).
inline QApplication& testApplication() {
    static int argc = 1;
    static char name[] = "calibration_qt_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);  // lives to the end
    return *app;
}

}  // namespace zorvan::testing
