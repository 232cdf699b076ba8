#pragma once

#include <QWidget>
#include <functional>

#include "app/status_words.h"

class QLabel;
class QPushButton;

namespace zorvan::app {

// Above the log: the board and its calibration in plain words, a
// "Calibrate…" button when there is nothing usable, and, where the desktop
// has no tray, how to quit.
class StatusPanel : public QWidget {
    Q_OBJECT
  public:
    explicit StatusPanel(QWidget* parent = nullptr);

    void present(const PlainStatus& status);
    // What the button does; until set, the button stays hidden.
    void setCalibrate(std::function<void()> calibrate);
    // Says how to quit, for a desktop without a tray (closing only minimises).
    void setQuitHint(bool shown);

    QString boardText() const;
    QString calibrationText() const;
    bool offersCalibration() const;
    bool showsQuitHint() const;

  private:
    QLabel* board_;
    QLabel* calibration_;
    QPushButton* calibrate_;
    QLabel* quitHint_;
    std::function<void()> calibrateAction_;
    bool offer_ = false;
};

}  // namespace zorvan::app
