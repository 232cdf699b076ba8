#include "pointer/log_sink.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include <unistd.h>

#include "pointer/mouse_event_text.h"
#include "pointer/mouse_primitives.h"
#include "tests/pointer/event_builders.h"

namespace zorvan {
namespace {

using namespace zorvan::test;

TEST(MouseEventTextTest, LinesHaveTypeShortestCoordinatesAndClickOnlyWhenSet) {
    EXPECT_EQ(formatMouseEvent(Drag(1016, 1000)), "left-drag 1016 1000");
    EXPECT_EQ(formatMouseEvent(LeftDown2(512.25f, 300.5f)), "left-down 512.25 300.5 click=2");
    EXPECT_EQ(formatMouseEvent(LeftUp2(0, 0)), "left-up 0 0 click=2");
    EXPECT_EQ(formatMouseEvent(LeftDown(0.1f, 1476.92f)), "left-down 0.1 1476.92");
    EXPECT_EQ(formatMouseEvent(RightDown(1e-7f, 3e38f)), "right-down 1e-07 3e+38");
    EXPECT_EQ(formatMouseEvent(RightUp(-0.0f, 7)), "right-up -0 7");
}

TEST(MouseEventTextTest, CoordinatesReadBackAsTheSameFloat) {
    for (float v : {0x1.713ae2p+10f, 1905.54f, 1.0f / 3.0f, 16777217.0f, 1e-45f}) {
        const std::string line = formatMouseEvent(LeftUp(v, v));
        std::istringstream in(line.substr(line.find(' ') + 1));
        float x = 0, y = 0;
        in >> x >> y;
        EXPECT_EQ(x, v) << line;
        EXPECT_EQ(y, v) << line;
    }
}

class LogSinkFileTest : public ::testing::Test {
  protected:
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("zorvan-log-sink-" + std::to_string(::getpid()) + "-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void TearDown() override { std::filesystem::remove(path); }
    std::string contents() const {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(LogSinkFileTest, EveryLineIsOnDiskAsSoonAsItIsPosted) {
    LogSink sink(path.string());
    MouseDoubleClick(sink, ScreenPoint{512.25f, 300.5f});
    // Still open: what a tool tailing the log sees right now.
    EXPECT_EQ(contents(),
              "left-up 512.25 300.5\n"
              "left-down 512.25 300.5 click=2\n"
              "left-up 512.25 300.5 click=2\n");
}

TEST_F(LogSinkFileTest, OpeningTruncatesAnEarlierLog) {
    std::ofstream(path) << "stale line\n";
    LogSink sink(path.string());
    MouseLeftMove(sink, ScreenPoint{1, 2});
    EXPECT_EQ(contents(), "left-drag 1 2\n");
}

TEST(LogSinkTest, UnopenablePathThrowsNamingPathAndReason) {
    try {
        LogSink sink("/nonexistent-dir/zorvan/events.log");
        FAIL() << "no exception";
    } catch (const std::system_error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("/nonexistent-dir/zorvan/events.log"), std::string::npos) << what;
        EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
    }
}

TEST(LogSinkTest, WriteFailureIsReportedOnceNotAtEveryEvent) {
    std::FILE* full = std::fopen("/dev/full", "w");
    if (full == nullptr) {
        GTEST_SKIP() << "no /dev/full";
    }
    {
        LogSink sink(full, "/dev/full");
        ::testing::internal::CaptureStderr();
        for (int i = 0; i < 5; ++i) {
            MouseLeftMove(sink, ScreenPoint{1, 2});
        }
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("/dev/full"), std::string::npos) << err;
        EXPECT_NE(err.find("No space left"), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line only: " << err;
    }
    std::fclose(full);
}

}  // namespace
}  // namespace zorvan
