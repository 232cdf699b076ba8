#include "driver/calibration_alert.h"

namespace zorvan {

void ShowAlert(const TextLookup& lookup, AlertPresenter& presenter, CalivoLauncher& launcher,
               const std::function<void()>& requestQuit) {
    const auto text = [&lookup](const char* key) { return lookup ? lookup(key) : key; };
    const std::string cancel = text("Alert_Cancel");
    const std::string ok = text("Alert_OK");
    const std::string info = text("Alert_Info");
    const std::string title = text("Alert_Title");

    if (presenter.runModal(title, info, ok, cancel) != AlertPresenter::Answer::Default) {
        return;
    }
    launcher.startCalivo();
    if (requestQuit) {
        requestQuit();
    }
}

}  // namespace zorvan
