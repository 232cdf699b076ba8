#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QScreen;

namespace zorvan::calivo {

// One screen of the screen step: its number, large enough to read across a
// classroom, its name and size, and whether it is the one a touch on the
// board would choose now. Clicks and keys go to the handlers.
class ScreenNumberView : public QWidget {
    Q_OBJECT
  public:
    struct Handlers {
        std::function<void()> clicked;            // a mouse click on this screen
        std::function<void(int key)> keyPressed;  // Qt::Key
    };

    ScreenNumberView(int number, int count, QScreen* screen, Handlers handlers);

    // Covers its screen entirely.
    void showFull();
    // `highlighted`: a touch now chooses this screen; `held`: a touch is on
    // the board and will choose it at the lift.
    void setState(bool highlighted, bool held);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    int number_;
    int count_;
    QScreen* screen_;
    QString name_;
    Handlers handlers_;
    bool highlighted_ = false;
    bool held_ = false;
};

}  // namespace zorvan::calivo
