#include "driver/calibration_alert.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calibration/memory_settings_store.h"

namespace zorvan {
namespace {

class ScriptedPresenter : public AlertPresenter {
  public:
    ScriptedPresenter(Answer answer, std::vector<std::string>& events)
        : answer_(answer), events_(events) {}
    Answer runModal(const std::string& title, const std::string& info, const std::string& ok,
                    const std::string& cancel) override {
        events_.push_back("modal " + title + "|" + info + "|" + ok + "|" + cancel);
        return answer_;
    }

  private:
    Answer answer_;
    std::vector<std::string>& events_;
};

class RecordingProcesses : public ProcessControl {
  public:
    explicit RecordingProcesses(std::vector<std::string>& events) : events_(events) {}
    bool isCalibrationTool(std::int64_t) override { return false; }
    bool sendHangup(std::int64_t) override { return false; }
    std::int64_t launchDetached(const std::string& path,
                                const std::vector<std::string>& /*arguments*/) override {
        events_.push_back("launch " + path);
        return 4321;
    }

  private:
    std::vector<std::string>& events_;
};

struct Alert {
    std::vector<std::string> events;
    MemorySettingsStore store;
    RecordingProcesses processes{events};
    CalivoLauncher launcher{store, processes, "/usr/lib/zorvan/zorvan"};

    void show(AlertPresenter::Answer answer, const TextLookup& lookup) {
        ScriptedPresenter presenter(answer, events);
        ShowAlert(lookup, presenter, launcher, [this] { events.push_back("quit"); });
    }
};

TEST(ShowAlert, LooksUpTheFourTextsInOrderAndShowsThemInTheirPlaces) {
    Alert a;
    a.show(AlertPresenter::Answer::Alternate, [&a](const char* key) {
        a.events.push_back(std::string("lookup ") + key);
        return std::string("<") + key + ">";
    });
    const std::vector<std::string> expected{
        "lookup Alert_Cancel", "lookup Alert_OK", "lookup Alert_Info", "lookup Alert_Title",
        "modal <Alert_Title>|<Alert_Info>|<Alert_OK>|<Alert_Cancel>"};
    EXPECT_EQ(a.events, expected);
}

TEST(ShowAlert, DefaultAnswerStartsTheToolThenQuits) {
    Alert a;
    a.show(AlertPresenter::Answer::Default, nullptr);  // no lookup: the keys show
    const std::vector<std::string> expected{"modal Alert_Title|Alert_Info|Alert_OK|Alert_Cancel",
                                            "launch /usr/lib/zorvan/Calivo.app", "quit"};
    EXPECT_EQ(a.events, expected);
}

TEST(ShowAlert, AlternateAnswerReturnsWithoutLaunchingOrQuitting) {
    Alert a;
    a.show(AlertPresenter::Answer::Alternate, [](const char* key) { return std::string(key); });
    ASSERT_EQ(a.events.size(), 1u);
    EXPECT_TRUE(a.store.accesses().empty());
}

}  // namespace
}  // namespace zorvan
