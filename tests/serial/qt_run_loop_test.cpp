#include "platform/qt_run_loop.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "tests/serial/run_loop_conformance.h"

namespace zorvan::test {
namespace {

QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "qt_run_loop_test";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);  // lives to the end
    return *app;
}

struct QtDriver {
    QCoreApplication& app = application();  // before the loop
    QtRunLoop qt;
    serial::RunLoop& loop() { return qt; }
    void spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        QTimer tick;  // so that waiting for events always comes back
        tick.start(2);
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, RunLoopConformance, QtDriver);

}  // namespace
}  // namespace zorvan::test
