#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace zorvan::calivo {

// Brings SIGHUP (the driver asks for calibration again) and SIGTERM/SIGINT
// (stop) to the GUI thread. The handlers only write the signal's number to a
// socket that the event loop watches. Install before the pid is published:
// SIGHUP's default action would end the tool.
class SignalRelay : public QObject {
    Q_OBJECT
  public:
    SignalRelay(std::function<void()> onHangup, std::function<void()> onStop,
                QObject* parent = nullptr);
    ~SignalRelay() override;
    bool installed() const { return installed_; }

  private:
    std::function<void()> onHangup_;
    std::function<void()> onStop_;
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

}  // namespace zorvan::calivo
