// The real Calivo.app on the board simulator's terminal, offscreen, next to a
// running zorvan that reads the same terminal: the tool pauses the driver,
// takes the presses itself, saves, and the driver maps with the new grid
// after its next silence, without a restart.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "tests/driver/subprocess.h"

namespace zorvan {
namespace {

using namespace std::chrono_literals;
using test::Subprocess;

// A calibration as the README shows it: a comment may follow the values.
const char* const kGood2x2 =
    "DotCount = 2          # 2 (2 x 2), 3 (3 x 3) or 5 (5 columns x 4 rows)\n"
    "Dot0 = 1000 1000      # raw x and y (0 to 4095) of every dot, numbered column\n"
    "Dot1 = 1000 3000      # by column from the top left: Dot0 to the last, all required\n"
    "Dot2 = 3000 1000\n"
    "Dot3 = 3000 3000\n"
    "TKey12 = 4000 100     # optional soft keys 0, 1, 2, 12, 26 in touch mode (TKey)\n"
    "EKey12 = 4010 96      # and pen mode (EKey); one left out keeps its stored value\n";

class CalivoEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zorvan-calivo-XXXXXX";
        config_ = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        // No machine-wide calibration of the machine running the tests.
        ::setenv("XDG_CONFIG_DIRS", (config_ + "/xdg").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    void TearDown() override {
        // The programs write to the settings folder until they end.
        zorvan_.reset();
        sim_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(config_, ignored);
    }

    std::string settings() const {
        std::ifstream in(config_ + "/Zorvan/Zorvan.conf");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The simulator, with its script on stdin; returns its terminal.
    std::string startBoard() {
        sim_ = std::make_unique<Subprocess>(
            std::vector<std::string>{Subprocess::binary("zorvan-board-sim")});
        const auto path = sim_->readLine(5s);
        return path ? *path : std::string();
    }

    // zorvan on the board, once it has loaded the calibration and published its pid.
    bool startDriver(const std::string& device) {
        zorvan_ = std::make_unique<Subprocess>(std::vector<std::string>{
            Subprocess::binary("zorvan"), "--device", device, "--pointer", "log"});
        return sim_->waitForLine("rx CE", 8s).has_value();
    }

    // After the tool let go: the driver's next load shows as its handshake.
    bool driverReloaded() {
        while (sim_->readLine(300ms)) {
        }
        return sim_->waitForLine("rx CE", 8s).has_value();
    }

    std::unique_ptr<Subprocess> sim_;
    std::unique_ptr<Subprocess> zorvan_;
    std::string config_;
};

TEST_F(CalivoEndToEnd, CalibrationReachesTheRunningDriverWithoutARestart) {
    const std::string device = startBoard();
    ASSERT_FALSE(device.empty());
    ASSERT_TRUE(startDriver(device));

    Subprocess calivo(
        {Subprocess::binary("Calivo.app"), "--grid", "2", "--no-keys", "--device", device});
    const auto paused = calivo.waitForLine("driver ", 5s);
    ASSERT_TRUE(paused) << "the driver was not paused";
    EXPECT_NE(settings().find("CalivoPid="), std::string::npos);
    ASSERT_TRUE(calivo.waitForLine("target 1 of 4 at ", 5s));

    // The second target is below the first; a press above it is a misclick.
    sim_->writeStdin("mode pen\nhold 500 400 12\nhold 500 300 12\n");
    EXPECT_EQ(calivo.waitForLine("refused", 5s), "refused: on the wrong side of an earlier target");
    sim_->writeStdin("hold 500 3600 12\nhold 3500 400 12\nhold 3500 3600 12\n");
    ASSERT_TRUE(calivo.waitForLine("check at ", 5s));
    sim_->writeStdin("hold 2000 2000 12\n");
    EXPECT_EQ(calivo.waitForLine("check landed", 5s).value_or(""),
              "check landed 0 px from the target (limit 22.6274)");
    EXPECT_TRUE(calivo.waitForLine("saved 4 dots", 5s));
    EXPECT_EQ(calivo.wait(), 0);

    const std::string saved = settings();
    for (const char* entry : {"DotCount=2\n", "Dot0.x=500\n", "Dot0.y=400\n", "Dot1.y=3600\n",
                              "Dot3.x=3500\n", "Dot3.y=3600\n", "CalivoPid=0\n"}) {
        EXPECT_NE(saved.find(entry), std::string::npos) << entry << " in\n" << saved;
    }

    // The driver saw none of the presses and maps with the new grid: raw
    // (500, 400) is now the first dot, 10 % into an 800 x 800 screen.
    ASSERT_TRUE(driverReloaded());
    sim_->writeStdin("hold 500 400 5\nhold 3500 3600 5\n");
    EXPECT_EQ(zorvan_->waitForLine("left-", 5s), "left-down 80 80");
    EXPECT_EQ(zorvan_->waitForLine("left-down", 5s), "left-down 720 720");
}

TEST_F(CalivoEndToEnd, ImportReachesTheRunningDriverWithoutARestart) {
    const std::string device = startBoard();
    ASSERT_FALSE(device.empty());
    ASSERT_TRUE(startDriver(device));

    const std::string file = config_ + "/board.txt";
    std::ofstream(file) << "DotCount = 2\nDot0 = 1000 1000\nDot1 = 1000 3000\n"
                           "Dot2 = 3000 1000\nDot3 = 3000 3000\n";
    Subprocess calivo({Subprocess::binary("Calivo.app"), "--import", file});
    EXPECT_EQ(calivo.readLine(5s), "stored; the driver loads it at the board's next silence");
    EXPECT_EQ(calivo.wait(), 0);

    ASSERT_TRUE(driverReloaded());
    sim_->writeStdin("mode pen\nhold 1000 1000 5\nhold 2000 2000 5\n");
    EXPECT_EQ(zorvan_->waitForLine("left-down", 5s), "left-down 80 80");
    EXPECT_EQ(zorvan_->waitForLine("left-down", 5s), "left-down 400 400");

    Subprocess exported({Subprocess::binary("Calivo.app"), "--export", "-"});
    std::string text;
    while (const auto line = exported.readLine(5s)) {
        text += *line + "\n";
    }
    EXPECT_EQ(exported.wait(), 0);
    EXPECT_NE(text.find("DotCount = 2\nDot0 = 1000 1000\nDot1 = 1000 3000\n"), std::string::npos)
        << text;
}

TEST_F(CalivoEndToEnd, AnImportThatCannotReachTheFileSaysSo) {
    // The settings file cannot be written where a folder stands in its way.
    std::filesystem::create_directories(config_ + "/Zorvan/Zorvan.conf");
    const std::string file = config_ + "/board.txt";
    std::ofstream(file) << "DotCount = 2\nDot0 = 1000 1000\nDot1 = 1000 3000\n"
                           "Dot2 = 3000 1000\nDot3 = 3000 3000\n";
    Subprocess calivo({Subprocess::binary("Calivo.app"), "--import", file});
    EXPECT_EQ(calivo.readLine(5s, true), "Calivo.app: the calibration could not be stored");
    EXPECT_EQ(calivo.wait(), 1 << 8);
}

TEST_F(CalivoEndToEnd, HangupStartsOverAndStopKeepsTheStoredCalibration) {
    const std::string device = startBoard();
    ASSERT_FALSE(device.empty());
    Subprocess calivo(
        {Subprocess::binary("Calivo.app"), "--grid", "3", "--no-keys", "--device", device});
    ASSERT_TRUE(calivo.waitForLine("target 1 of 9 at 80 80", 5s));
    sim_->writeStdin("hold 500 400 12\n");
    ASSERT_TRUE(calivo.waitForLine("target 2 of 9 at 80 400", 5s));

    calivo.signal(SIGHUP);
    EXPECT_TRUE(calivo.waitForLine("asked to calibrate again", 5s));
    EXPECT_EQ(calivo.readLine(5s), "target 1 of 9 at 80 80");

    // A second start hands over to the running tool instead of competing
    // with it for the board.
    sim_->writeStdin("hold 500 400 12\n");
    ASSERT_TRUE(calivo.waitForLine("target 2 of 9", 5s));
    Subprocess second({Subprocess::binary("Calivo.app"), "--device", device});
    EXPECT_TRUE(second.waitForLine("already running as pid ", 5s));
    EXPECT_EQ(second.wait(), 1 << 8);  // it stored nothing
    EXPECT_TRUE(calivo.waitForLine("asked to calibrate again", 5s));
    EXPECT_EQ(calivo.readLine(5s), "target 1 of 9 at 80 80");
    EXPECT_EQ(settings().find("CalivoPid=0"), std::string::npos);

    // An import now would store under the running tool and resume the driver
    // that it keeps paused.
    const std::string file = config_ + "/board.txt";
    std::ofstream(file) << kGood2x2;
    Subprocess import({Subprocess::binary("Calivo.app"), "--import", file});
    EXPECT_EQ(import.readLine(5s, true),
              "Calivo.app: a calibration is running (pid " + std::to_string(calivo.pid()) +
                  "); nothing was stored: finish or cancel it, then import");
    EXPECT_EQ(import.wait(), 1 << 8);

    calivo.signal(SIGTERM);
    EXPECT_EQ(calivo.waitForLine("cancelled", 5s), "cancelled: the calibration stays as it was");
    EXPECT_EQ(calivo.wait(), 1 << 8);
    EXPECT_EQ(settings().find("DotCount"), std::string::npos);
    EXPECT_NE(settings().find("CalivoPid=0"), std::string::npos);
}

TEST_F(CalivoEndToEnd, TheBoardsCalibrateCommandStartsTheToolNextToTheDriver) {
    const std::string device = startBoard();
    ASSERT_FALSE(device.empty());
    ASSERT_TRUE(startDriver(device));
    sim_->writeStdin("mode pen\ncalibrate\n");
    // The tool inherits the driver's standard output.
    EXPECT_TRUE(zorvan_->waitForLine("choose a grid", 10s));
    EXPECT_NE(settings().find("CalivoPid="), std::string::npos);
    EXPECT_EQ(settings().find("CalivoPid=0"), std::string::npos);

    // Unplugging the board ends the tool, which lets go of the driver and
    // of its pid; the stored calibration stays as it was.
    sim_->signal(SIGTERM);
    sim_->wait();
    EXPECT_TRUE(zorvan_->waitForLine("Calivo.app: lost the board", 10s, true));
    for (int i = 0; i < 50 && settings().find("CalivoPid=0") == std::string::npos; ++i) {
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_NE(settings().find("CalivoPid=0"), std::string::npos);
    EXPECT_EQ(settings().find("DotCount"), std::string::npos);
}

TEST_F(CalivoEndToEnd, ADriverPausedForAToolThatDiedReadsAgainWithWhatItSaved) {
    const std::string device = startBoard();
    ASSERT_FALSE(device.empty());
    ASSERT_TRUE(startDriver(device));
    Subprocess calivo(
        {Subprocess::binary("Calivo.app"), "--grid", "2", "--no-keys", "--device", device});
    ASSERT_TRUE(calivo.waitForLine("driver ", 5s)) << "the driver was not paused";
    ASSERT_TRUE(calivo.waitForLine("target 1 of 4", 5s));

    // A grid saved, then the tool is killed before it could resume the driver.
    std::ofstream(config_ + "/Zorvan/Zorvan.conf", std::ios::app)
        << "DotCount=2\nDot0.x=500\nDot0.y=400\nDot1.x=500\nDot1.y=3600\n"
           "Dot2.x=3500\nDot2.y=400\nDot3.x=3500\nDot3.y=3600\n";
    calivo.signal(SIGKILL);
    calivo.wait();

    ASSERT_TRUE(driverReloaded()) << "the driver stays paused for a tool that has gone";
    sim_->writeStdin("mode pen\nhold 500 400 5\nhold 3500 3600 5\n");
    EXPECT_EQ(zorvan_->waitForLine("left-down", 5s), "left-down 80 80");
    EXPECT_EQ(zorvan_->waitForLine("left-down", 5s), "left-down 720 720");
    EXPECT_NE(settings().find("CalivoPid=0\n"), std::string::npos) << settings();
}

TEST_F(CalivoEndToEnd, TheToolADriverStartsCalibratesThatDriversBoard) {
    // Two boards, a driver each; the second one's pid is the one published.
    const std::string deviceA = startBoard();
    ASSERT_FALSE(deviceA.empty());
    ASSERT_TRUE(startDriver(deviceA));
    auto simA = std::move(sim_);
    auto driverA = std::move(zorvan_);
    const std::string deviceB = startBoard();
    ASSERT_FALSE(deviceB.empty());
    ASSERT_TRUE(startDriver(deviceB));
    ASSERT_NE(settings().find("ZorvanPid=" + std::to_string(zorvan_->pid())), std::string::npos);

    simA->writeStdin("mode pen\ncalibrate\n");
    // The tool inherits the standard output of the driver that started it.
    EXPECT_EQ(driverA->waitForLine("driver ", 10s),
              "driver " + std::to_string(driverA->pid()) + " paused");
    EXPECT_EQ(driverA->waitForLine("board ", 5s).value_or("").substr(0, 7 + deviceA.size()),
              "board " + deviceA + ",");
    EXPECT_TRUE(driverA->waitForLine("choose a grid", 5s));

    // Board B's driver goes on reading its board.
    sim_->writeStdin("mode pen\nhold 2000 2000 5\n");
    EXPECT_TRUE(zorvan_->waitForLine("left-down", 5s)) << "the other board's driver was paused";

    // Board A unplugged: the tool ends, and its driver reads again.
    simA->signal(SIGTERM);
    simA->wait();
    EXPECT_TRUE(driverA->waitForLine("Calivo.app: lost the board", 10s, true));
}

TEST_F(CalivoEndToEnd, ImportTakesOnlyARegularFileOfAtMost1MB) {
    ::signal(SIGPIPE, SIG_IGN);  // the tool stops reading a standard input that is too long
    const std::string fifo = config_ + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // no writer: opening it to read would block
    const std::string zero = config_ + "/zero.txt";
    std::filesystem::create_symlink("/dev/zero", zero);  // endless
    const std::string folder = config_ + "/folder";
    std::filesystem::create_directory(folder);
    const std::string large = config_ + "/large.txt";
    std::ofstream(large) << std::string(2 << 20, '#');
    const struct {
        std::string file;
        std::string input;  // on standard input
        int status;
        std::string said;  // on stderr, or on stdout when stored
    } cases[] = {
        {fifo, "", 1,
         "Calivo.app: " + fifo + " is a pipe: give its text on standard input with '--import -'"},
        {zero, "", 1, "Calivo.app: " + zero + " is not a regular file"},
        {folder, "", 1, "Calivo.app: " + folder + " is a folder, not a calibration file"},
        {large, "", 1,
         "Calivo.app: " + large + " is larger than 1 MB: no calibration is that large"},
        {"-", std::string(2 << 20, '#'), 1,
         "Calivo.app: standard input holds more than 1 MB: no calibration is that large"},
        {"-", kGood2x2, 0, "stored; no driver runs now: it loads it when it starts"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        Subprocess calivo({Subprocess::binary("Calivo.app"), "--import", c.file});
        calivo.writeStdin(c.input);
        calivo.closeStdin();
        EXPECT_EQ(calivo.readLine(5s, c.status != 0), c.said);
        std::optional<int> status;
        for (int i = 0; i < 250 && !(status = calivo.tryWait()); ++i) {
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_EQ(status, c.status << 8);
    }
}

TEST_F(CalivoEndToEnd, ProblemsAreSaidPlainlyWithAnExitStatus) {
    struct Case {
        std::vector<std::string> arguments;
        const char* platform;
        int status;
        std::string stderrStart;
    };
    const Case cases[] = {
        {{"--device", "/nonexistent/board"},
         "offscreen",
         1,
         "Calivo.app: cannot open /nonexistent/board: No such file or directory"},
        {{"--device", "/nonexistent/board"},
         "xcb",
         1,
         "Calivo.app: no display: DISPLAY is not set"},
        {{"--grid", "4"}, "offscreen", 2, "Calivo.app: --grid takes 2, 3 or 5, not '4'"},
        {{"--timeout", "0"}, "offscreen", 2, "Calivo.app: --timeout takes whole seconds"},
        {{"--show", "--import", "x"}, "offscreen", 2, "Calivo.app: --show, --export and --import"},
        {{"--export", "-"}, "offscreen", 1, "Calivo.app: no calibration stored"},
        {{"--import", "/nonexistent/cal.txt"}, "offscreen", 1, "Calivo.app: cannot read"},
    };
    const char* display = std::getenv("DISPLAY");
    const std::string savedDisplay = display ? display : "";
    ::unsetenv("DISPLAY");
    for (const Case& c : cases) {
        ::setenv("QT_QPA_PLATFORM", c.platform, 1);
        std::vector<std::string> argv{Subprocess::binary("Calivo.app")};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        Subprocess calivo(argv);
        EXPECT_EQ(calivo.waitForLine("Calivo.app: ", 10s, true)
                      .value_or("")
                      .substr(0, c.stderrStart.size()),
                  c.stderrStart);
        const int status = calivo.wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.stderrStart;
    }
    if (display) {
        ::setenv("DISPLAY", savedDisplay.c_str(), 1);
    }
}

// A teacher at the board alone: the tool on the simulator's terminal, every
// choice made by a touch. The board here is linear, raw = 200 + 4.5 * pixel on
// the 800 x 800 offscreen screen, and the stored calibration says so, so that
// touches on buttons land where the tool shows them.
class BoardOnly {
  public:
    BoardOnly(Subprocess& sim, std::vector<std::string> arguments) : sim_(sim) {
        arguments.insert(arguments.begin(), Subprocess::binary("Calivo.app"));
        tool_ = std::make_unique<Subprocess>(arguments);
    }

    static int raw(double pixel) { return static_cast<int>(200 + 4.5 * pixel); }
    static std::string storedLinearGrid() {
        return "DotCount = 2\nDot0 = 560 560\nDot1 = 560 3440\nDot2 = 3440 560\n"
               "Dot3 = 3440 3440\n";
    }

    // Lines up to the first that starts with `prefix`; keeps the target and
    // the controls shown on the way. Empty on a time-out.
    std::string until(const std::string& prefix, std::chrono::milliseconds timeout = 5s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            const auto line = tool_->readLine(std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now()));
            if (!line) {
                break;
            }
            seen_ += *line + "\n";
            double x = 0, y = 0;
            if (std::sscanf(line->c_str(), "target %*d of %*d at %lf %lf", &x, &y) == 2 ||
                std::sscanf(line->c_str(), "check at %lf %lf", &x, &y) == 2) {
                target_ = {x, y};
            }
            if (line->rfind("controls: ", 0) == 0) {
                readControls(line->substr(10));
            }
            if (line->rfind(prefix, 0) == 0) {
                return *line;
            }
        }
        return {};
    }
    // The next prompt after a press: a target or the check.
    std::string nextPrompt() {
        for (;;) {
            const std::string line = until("");
            if (line.empty() || line.rfind("target ", 0) == 0 || line.rfind("check at", 0) == 0) {
                return line;
            }
        }
    }

    void press(double x, double y) {
        sim_.writeStdin("hold " + std::to_string(raw(x)) + " " + std::to_string(raw(y)) + " 12\n");
    }
    void pressTarget() { press(target_.first, target_.second); }
    // A touch in the middle of a button the tool shows.
    bool touch(const std::string& control) {
        const auto found = controls_.find(control);
        if (found == controls_.end()) {
            return false;
        }
        press(found->second.first, found->second.second);
        return true;
    }

    Subprocess& tool() { return *tool_; }
    const std::string& seen() const { return seen_; }

  private:
    void readControls(const std::string& text) {
        controls_.clear();
        std::stringstream list(text);
        for (std::string item; std::getline(list, item, ';');) {
            // "NAME X Y W H", the name of one or more words.
            std::vector<std::string> words;
            std::stringstream split(item);
            for (std::string word; split >> word;) {
                words.push_back(word);
            }
            if (words.size() < 5) {
                continue;
            }
            std::string name;
            for (std::size_t i = 0; i + 4 < words.size(); ++i) {
                name += (name.empty() ? "" : " ") + words[i];
            }
            const std::size_t n = words.size();
            controls_[name] = {std::stod(words[n - 4]) + std::stod(words[n - 2]) / 2,
                               std::stod(words[n - 3]) + std::stod(words[n - 1]) / 2};
        }
    }

    Subprocess& sim_;
    std::unique_ptr<Subprocess> tool_;
    std::pair<double, double> target_{0, 0};
    std::map<std::string, std::pair<double, double>> controls_;
    std::string seen_;
};

TEST_F(CalivoEndToEnd, EveryRunCanBeFinishedOrCancelledFromTheBoardAlone) {
    const std::string device = startBoard();
    ASSERT_FALSE(device.empty());
    sim_->writeStdin("mode pen\n");
    struct Scenario {
        std::string name;
        std::vector<std::string> arguments;
        std::function<void(BoardOnly&)> steps;
        int status;
        bool newGrid;  // whether the grid stored afterwards is the new one
    };
    const auto presses = [](int count) {
        return [count](BoardOnly& run) {
            for (int i = 0; i < count; ++i) {
                ASSERT_FALSE(run.nextPrompt().empty()) << run.seen();
                run.pressTarget();
            }
        };
    };
    std::vector<Scenario> scenarios;
    // One touch off its target at any point of a 3 x 3 run: the prompts that
    // follow, pressed where they are, finish it.
    for (int k = 0; k < 9; ++k) {
        scenarios.push_back(
            {"mis-touch at target " + std::to_string(k + 1),
             {"--grid", "3", "--no-keys"},
             [k](BoardOnly& run) {
                 for (int i = 0; i < k; ++i) {
                     ASSERT_FALSE(run.nextPrompt().empty()) << run.seen();
                     run.pressTarget();
                 }
                 ASSERT_FALSE(run.nextPrompt().empty()) << run.seen();
                 // The screen's centre is target 5 itself: miss that one elsewhere.
                 k == 4 ? run.press(640, 160) : run.press(400, 400);
                 std::string prompt;
                 for (int i = 0; i < 30 && (prompt = run.nextPrompt()).rfind("target", 0) == 0;
                      ++i) {
                     run.pressTarget();
                 }
                 ASSERT_EQ(prompt.rfind("check at 400 400", 0), 0u) << run.seen();
                 run.pressTarget();
                 EXPECT_NE(run.until("saved 9 dots of DotCount 3, check 0 px off"), "")
                     << run.seen();
             },
             0,
             true});
    }
    scenarios.push_back({"Cancel touched at target 1",
                         {"--grid", "3", "--no-keys"},
                         [](BoardOnly& run) {
                             ASSERT_NE(run.until("controls: "), "");
                             ASSERT_TRUE(run.touch("cancel")) << run.seen();
                             EXPECT_NE(run.until("touched cancel"), "") << run.seen();
                             EXPECT_NE(run.until("cancelled: "), "") << run.seen();
                         },
                         1,
                         false});
    scenarios.push_back({"a grid chosen by touch, a key skipped, the rest left by Finish",
                         {},
                         [](BoardOnly& run) {
                             ASSERT_NE(run.until("controls: grid 2"), "");
                             ASSERT_TRUE(run.touch("grid 2")) << run.seen();
                             for (int i = 0; i < 5; ++i) {
                                 ASSERT_FALSE(run.nextPrompt().empty()) << run.seen();
                                 run.pressTarget();
                             }
                             ASSERT_NE(run.until("soft key 0"), "") << run.seen();
                             ASSERT_TRUE(run.touch("skip")) << run.seen();
                             ASSERT_NE(run.until("soft key 1"), "") << run.seen();
                             run.press(790, 10);  // the key, off the screen's controls
                             ASSERT_NE(run.until("soft key 2"), "") << run.seen();
                             ASSERT_TRUE(run.touch("finish")) << run.seen();
                             EXPECT_NE(run.until("saved 4 dots of DotCount 2"), "") << run.seen();
                         },
                         0,
                         true});
    scenarios.push_back({"Calibrate again touched after a missed check",
                         {"--grid", "2", "--no-keys"},
                         [&presses](BoardOnly& run) {
                             presses(4)(run);
                             ASSERT_EQ(run.nextPrompt().rfind("check at", 0), 0u) << run.seen();
                             run.press(450, 450);
                             ASSERT_NE(run.until("check missed"), "") << run.seen();
                             ASSERT_TRUE(run.touch("calibrate again")) << run.seen();
                             EXPECT_EQ(run.nextPrompt(), "target 1 of 4 at 80 80") << run.seen();
                             run.pressTarget();
                             presses(4)(run);  // targets 2 to 4, and the check
                             EXPECT_NE(run.until("saved 4 dots"), "") << run.seen();
                         },
                         0,
                         true});
    scenarios.push_back({"a press with one spike is taken at its median",
                         {"--grid", "2", "--no-keys"},
                         [this, &presses](BoardOnly& run) {
                             ASSERT_EQ(run.nextPrompt(), "target 1 of 4 at 80 80") << run.seen();
                             std::string spiky = "down 560 560\ndown 560 560\ndown 560 560\n";
                             for (int i = 0; i < 20; ++i) {
                                 spiky += i == 9 ? "down 860 560\n" : "down 560 560\n";
                             }
                             sim_->writeStdin(spiky + "up 560 560\n");
                             EXPECT_EQ(run.nextPrompt(), "target 2 of 4 at 80 720") << run.seen();
                             run.pressTarget();
                             presses(3)(run);  // targets 3 and 4, and the check
                             EXPECT_NE(run.until("saved 4 dots of DotCount 2, check 0 px off"), "")
                                 << run.seen();
                         },
                         0,
                         true});
    scenarios.push_back({"a time-out among the soft keys keeps the grid",
                         {"--grid", "2", "--timeout", "2"},
                         [&presses](BoardOnly& run) {
                             presses(5)(run);
                             EXPECT_NE(run.until("grid saved: 4 dots of DotCount 2"), "")
                                 << run.seen();
                             EXPECT_NE(run.until("saved 4 dots of DotCount 2, check 0 px off"), "")
                                 << run.seen();
                         },
                         0,
                         true});
    scenarios.push_back({"--timeout 2 with no touch",
                         {"--grid", "3", "--timeout", "2"},
                         [](BoardOnly& run) {
                             const auto start = std::chrono::steady_clock::now();
                             EXPECT_NE(run.until("timed out: "), "") << run.seen();
                             const auto took = std::chrono::steady_clock::now() - start;
                             EXPECT_GT(took, 1500ms);
                             EXPECT_LT(took, 4000ms);
                         },
                         1,
                         false});

    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        // The new grid always differs from the one stored before: its Dot0 lies at
        // the first target (80, 80), raw 560, and the old one's is moved.
        std::ofstream(config_ + "/old.txt")
            << "DotCount = 2\nDot0 = 500 500\nDot1 = 560 3440\nDot2 = 3440 560\n"
               "Dot3 = 3440 3440\n";
        Subprocess import({Subprocess::binary("Calivo.app"), "--import", config_ + "/old.txt"});
        ASSERT_EQ(import.wait(), 0);
        std::vector<std::string> arguments = scenario.arguments;
        arguments.insert(arguments.end(), {"--device", device});
        BoardOnly run(*sim_, arguments);
        scenario.steps(run);
        const int status = run.tool().wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == scenario.status) << run.seen();
        const std::string saved = settings();
        EXPECT_EQ(saved.find("Dot0.x=560\n") != std::string::npos, scenario.newGrid) << saved;
        EXPECT_EQ(saved.find("Dot0.x=500\n") != std::string::npos, !scenario.newGrid) << saved;
        EXPECT_NE(saved.find("CalivoPid=0\n"), std::string::npos);
    }
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string shown() {
    Subprocess show({Subprocess::binary("Calivo.app"), "--show"});
    std::string text;
    while (const auto line = show.readLine(5s)) {
        text += *line + "\n";
    }
    show.wait();
    return text;
}

TEST_F(CalivoEndToEnd, AnAccountWithoutACalibrationUsesTheMachineWideOneAndNeverWritesIt) {
    const std::string machineFile = config_ + "/xdg/Zorvan/Zorvan.conf";
    std::filesystem::create_directories(config_ + "/xdg/Zorvan");
    std::ofstream(machineFile) << "[General]\nDotCount=2\nDot0.x=1000\nDot0.y=1000\n"
                                  "Dot1.x=1000\nDot1.y=3000\nDot2.x=3000\nDot2.y=1000\n"
                                  "Dot3.x=3000\nDot3.y=3000\nTKey12.x=4000\nTKey12.y=100\n";
    struct stat before {};
    ASSERT_EQ(::stat(machineFile.c_str(), &before), 0);
    const std::string bytes = fileText(machineFile);

    // The driver: the machine-wide grid, said where it comes from.
    const std::string device = startBoard();
    ASSERT_FALSE(device.empty());
    zorvan_ = std::make_unique<Subprocess>(std::vector<std::string>{
        Subprocess::binary("zorvan"), "--device", device, "--pointer", "log", "--log-stdout"});
    EXPECT_TRUE(zorvan_->waitForLine("calibration from " + machineFile + " (machine-wide", 10s));
    ASSERT_TRUE(sim_->waitForLine("rx CE", 8s));
    sim_->writeStdin("mode pen\nhold 1000 1000 5\n");
    EXPECT_EQ(zorvan_->waitForLine("left-down", 5s), "left-down 80 80");
    EXPECT_NE(shown().find("# in use: the machine-wide calibration in " + machineFile + "\n"),
              std::string::npos);

    // A calibration of the account's own: stored in its file, with the
    // machine-wide soft key it did not take, and from then on in use.
    Subprocess calivo(
        {Subprocess::binary("Calivo.app"), "--grid", "2", "--no-keys", "--device", device});
    ASSERT_TRUE(calivo.waitForLine("target 1 of 4", 5s));
    sim_->writeStdin(
        "hold 500 400 12\nhold 500 3600 12\nhold 3500 400 12\nhold 3500 3600 12\n"
        "hold 2000 2000 12\n");
    EXPECT_TRUE(calivo.waitForLine("saved 4 dots", 5s));
    EXPECT_EQ(calivo.wait(), 0);
    for (const char* entry : {"DotCount=2\n", "Dot0.x=500\n", "TKey12.x=4000\n"}) {
        EXPECT_NE(settings().find(entry), std::string::npos) << entry << " in\n" << settings();
    }
    EXPECT_NE(shown().find("# in use: this account's own, in " + config_ + "/Zorvan/Zorvan.conf"),
              std::string::npos);
    ASSERT_TRUE(driverReloaded());
    sim_->writeStdin("hold 500 400 5\n");
    EXPECT_EQ(zorvan_->waitForLine("left-down", 5s), "left-down 80 80");
    zorvan_.reset();

    // Not a byte, not a touch, not a lock file.
    struct stat after {};
    ASSERT_EQ(::stat(machineFile.c_str(), &after), 0);
    EXPECT_EQ(fileText(machineFile), bytes);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(config_ + "/xdg/Zorvan"),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(CalivoEndToEnd, SystemInstallsOnlyWhereTheToolMayWrite) {
    const std::string file = config_ + "/board.txt";
    std::ofstream(file) << kGood2x2;
    std::ofstream(config_ + "/blocked") << "a file where a folder should be\n";
    // Without root: as nobody when the tests run as root.
    std::vector<std::string> unprivileged;
    std::string unwritable = "/";
    if (::geteuid() == 0) {
        unprivileged = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        unwritable = config_ + "/xdg";  // inside a folder only root may enter
    }
    struct Case {
        const char* what;
        std::vector<std::string> prefix;
        std::string folders;  // $XDG_CONFIG_DIRS
        std::vector<std::string> arguments;
        std::string said;  // the start of the first line on stderr, or of stdout when it works
        int status;
    };
    const std::string calivo = Subprocess::binary("Calivo.app");
    const Case cases[] = {
        {"an import without the right to write",
         unprivileged,
         unwritable,
         {"--import", file, "--system"},
         "Calivo.app: --system: cannot write in ",
         1},
        {"a calibration without it: refused before it starts",
         unprivileged,
         unwritable,
         {"--grid", "2", "--system"},
         "Calivo.app: --system: cannot write in ",
         1},
        {"a file in the folder's way",
         {},
         config_ + "/blocked",
         {"--import", file, "--system"},
         "Calivo.app: --system: " + config_ + "/blocked is not",
         1},
        {"allowed: installed",
         {},
         config_ + "/xdg",
         {"--import", file, "--system"},
         "stored; no driver runs now",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::setenv("XDG_CONFIG_DIRS", c.folders.c_str(), 1);
        std::vector<std::string> argv = c.prefix;
        argv.push_back(calivo);
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        Subprocess run(argv);
        const auto line = run.readLine(5s, c.status != 0);
        EXPECT_EQ(line.value_or("").substr(0, c.said.size()), c.said) << line.value_or("");
        if (c.status != 0 && !c.prefix.empty()) {
            EXPECT_NE(line.value_or("").find("installed as root (sudo)"), std::string::npos);
        }
        EXPECT_EQ(run.wait(), c.status << 8);
        const bool installed = std::filesystem::exists(c.folders + "/Zorvan/Zorvan.conf");
        EXPECT_EQ(installed, c.status == 0);
    }
    // Readable by every account, and nothing in the account's own file.
    const auto mode = std::filesystem::status(config_ + "/xdg/Zorvan/Zorvan.conf").permissions();
    EXPECT_EQ(mode & std::filesystem::perms::others_read, std::filesystem::perms::others_read);
    EXPECT_EQ(settings().find("DotCount"), std::string::npos);
    EXPECT_NE(shown().find("# in use: the machine-wide calibration in " + config_ + "/xdg/"),
              std::string::npos);
}

TEST_F(CalivoEndToEnd, HelpDocumentsEveryOptionAndTheFileFormat) {
    Subprocess calivo({Subprocess::binary("Calivo.app"), "--help"});
    std::string help;
    while (const auto line = calivo.readLine(5s)) {
        help += *line + "\n";
    }
    EXPECT_EQ(calivo.wait(), 0);
    for (const char* text :
         {"--device <PATH>", "--grid <N>", "--no-keys", "--timeout <SECONDS>", "--show",
          "--export <FILE>", "--import <FILE>", "--help", "--version", "--screen <NAME>",
          "--system", "DotCount = 3", "Dot0 = 512 384", "TKey12", "EKey12"}) {
        EXPECT_NE(help.find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace zorvan
