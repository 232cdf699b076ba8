#pragma once

#include <QObject>

class QSocketNotifier;

namespace zorvan::app {

// Turns SIGTERM, SIGINT and SIGHUP into an orderly quit of the event loop, so
// that the reader stops and the board gets its terminal settings back.
class QuitSignals : public QObject {
    Q_OBJECT
  public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    // False if the handlers could not be installed (the defaults stay).
    bool installed() const { return installed_; }

  private:
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
};

}  // namespace zorvan::app
