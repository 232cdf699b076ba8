#include "platform/pointer_backend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/uinput_sink.h"
#include "platform/xtest_sink.h"
#include "pointer/log_sink.h"
#include "pointer/mouse_primitives.h"
#include "tests/support/xvfb_display.h"

namespace zorvan {
namespace {

TEST(PointerBackendTest, NamesRoundTripAndUnknownIsRejected) {
    for (PointerBackend b : {PointerBackend::Auto, PointerBackend::Uinput, PointerBackend::Xtest,
                             PointerBackend::Log}) {
        EXPECT_EQ(parsePointerBackend(pointerBackendName(b)), b);
    }
    EXPECT_FALSE(parsePointerBackend("XTEST"));
    EXPECT_FALSE(parsePointerBackend(""));
    EXPECT_FALSE(parsePointerBackend("log "));
}

TEST(PointerBackendTest, LogGoesToTheGivenFileOrFallsBackToStdout) {
    const auto path = std::filesystem::temp_directory_path() / "zorvan-backend-test.log";
    std::string description;
    {
        auto sink = makePointerSink(PointerBackend::Log, DisplaySize{}, path.string(), description);
        MouseLeftMove(*sink, ScreenPoint{3.5f, 4});
    }
    EXPECT_EQ(description, "pointer events: log to " + path.string());
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "left-drag 3.5 4");
    std::filesystem::remove(path);

    auto sink =
        makePointerSink(PointerBackend::Log, DisplaySize{}, "/nonexistent-dir/x.log", description);
    EXPECT_NE(dynamic_cast<LogSink*>(sink.get()), nullptr);
    EXPECT_EQ(description.rfind("pointer events: log to stdout (", 0), 0u) << description;
    EXPECT_NE(description.find("/nonexistent-dir/x.log"), std::string::npos) << description;
}

// Runs with DISPLAY set to `display` (unset when empty) and restores it.
class ScopedDisplay {
  public:
    explicit ScopedDisplay(const std::string& display) {
        if (const char* old = std::getenv("DISPLAY")) {
            old_ = old;
            had_ = true;
        }
        if (display.empty()) {
            ::unsetenv("DISPLAY");
        } else {
            ::setenv("DISPLAY", display.c_str(), 1);
        }
    }
    ~ScopedDisplay() {
        if (had_) {
            ::setenv("DISPLAY", old_.c_str(), 1);
        } else {
            ::unsetenv("DISPLAY");
        }
    }

  private:
    std::string old_;
    bool had_ = false;
};

bool uinputUsable() {
    std::string error;
    return createUinputPointer(DisplaySize{640, 480}, error) != nullptr;
}

TEST(PointerBackendTest, AutoWithoutUinputOrDisplayLogsAndSaysWhy) {
    if (uinputUsable()) {
        GTEST_SKIP() << "this machine has a usable /dev/uinput";
    }
    ScopedDisplay noDisplay("");
    std::string description;
    auto sink = makePointerSink(PointerBackend::Auto, DisplaySize{1920, 1080}, "", description);
    EXPECT_NE(dynamic_cast<LogSink*>(sink.get()), nullptr);
    EXPECT_NE(description.find("log to stdout"), std::string::npos) << description;
    EXPECT_NE(description.find("/dev/uinput"), std::string::npos) << description;
    EXPECT_NE(description.find("DISPLAY is not set"), std::string::npos) << description;
}

TEST(PointerBackendTest, AutoWithoutUinputTakesAReachableXServer) {
    if (uinputUsable()) {
        GTEST_SKIP() << "this machine has a usable /dev/uinput";
    }
    test::XvfbDisplay xvfb(640, 480);
    if (!xvfb.ok()) {
        GTEST_SKIP() << xvfb.why();
    }
    ScopedDisplay display(xvfb.name());
    std::string description;
    auto sink = makePointerSink(PointerBackend::Auto, DisplaySize{640, 480}, "", description);
    EXPECT_NE(dynamic_cast<XtestSink*>(sink.get()), nullptr);
    EXPECT_EQ(description.rfind("pointer events: xtest on " + xvfb.name(), 0), 0u) << description;
}

TEST(PointerBackendTest, ExplicitBackendThatCannotWorkIsStillReturnedAndSaysWhy) {
    ScopedDisplay noDisplay("");
    std::string description;
    auto sink = makePointerSink(PointerBackend::Xtest, DisplaySize{640, 480}, "", description);
    ASSERT_NE(sink, nullptr);
    EXPECT_EQ(description, "pointer events: none, xtest: DISPLAY is not set");
    ::testing::internal::CaptureStderr();
    MouseLeftDown(*sink, ScreenPoint{1, 1});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "xtest: DISPLAY is not set; pointer events are dropped\n");

    if (!uinputUsable()) {
        sink = makePointerSink(PointerBackend::Uinput, DisplaySize{640, 480}, "", description);
        ASSERT_NE(sink, nullptr);
        EXPECT_EQ(description.rfind("pointer events: none, uinput: ", 0), 0u) << description;
    }
}

}  // namespace
}  // namespace zorvan
