#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "driver/alert_presenter.h"

namespace zorvan {

class AlertRelay;

// The calibration alert as a QMessageBox. runModal() may be called from any
// thread: off the GUI thread it posts the box to the GUI thread and waits for
// the answer; on the GUI thread it runs the box directly.
//
// Where no one can answer (no QApplication, the application already quitting,
// or a non-interactive platform such as "offscreen"), a box would wait
// forever and stop the reader for good: the alert is then answered with the
// alternate button at once and that is said once on stderr.
class QtAlertPresenter : public AlertPresenter {
  public:
    // `interactive`: whether a user can see and answer the box. Default: the
    // Qt platform is neither "offscreen" nor "minimal". Make it after the
    // QApplication, on the GUI thread.
    QtAlertPresenter();
    explicit QtAlertPresenter(bool interactive);
    ~QtAlertPresenter() override;

    Answer runModal(const std::string& title, const std::string& info, const std::string& ok,
                    const std::string& cancel) override;

  private:
    Answer answerUnattended(const char* why);

    bool interactive_;
    std::atomic<bool> toldUnattended_{false};
    // Set when the application's event loop ends: a call posted to it would
    // never run, so a waiting reader stops waiting.
    std::shared_ptr<std::atomic<bool>> quitting_ = std::make_shared<std::atomic<bool>>(false);
    // Lives on the GUI thread, where the presenter is made.
    std::unique_ptr<AlertRelay> relay_;
};

}  // namespace zorvan
