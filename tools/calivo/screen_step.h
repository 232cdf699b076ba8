#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QScreen;

namespace zorvan::calivo {

class ScreenNumberView;

// The first step when there are several screens: which one does the board
// show? A large number on every screen and a highlight that moves from one
// to the next; a touch anywhere on the board chooses the screen lit when it
// began (the highlight stops there until the lift), so the teacher needs no
// keyboard. The screen's number key, Enter (the lit one) or a mouse click
// on a screen choose as well; Esc cancels. Says each change on `say`.
class ScreenStep : public QObject {
    Q_OBJECT
  public:
    static constexpr int kDwellMs = 2000;  // how long each screen stays lit

    struct Handlers {
        std::function<void(QScreen*)> chosen;
        std::function<void()> cancelled;
        std::function<void(const std::string&)> say;
    };

    // `first`: the screen lit first (the board's screen so far).
    ScreenStep(std::vector<QScreen*> screens, QScreen* first, Handlers handlers);
    ~ScreenStep() override;

    void start();
    // The board's touches: a touch began, a touch ended.
    void touchDown();
    void touchUp();

  private:
    void light(std::size_t index);
    void choose(std::size_t index);
    void onKey(int key);
    void showStates();

    std::vector<QScreen*> screens_;
    std::vector<std::unique_ptr<ScreenNumberView>> views_;
    Handlers handlers_;
    QTimer dwell_;
    std::size_t lit_ = 0;
    bool held_ = false;
    bool done_ = false;
};

}  // namespace zorvan::calivo
