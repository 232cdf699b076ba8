#pragma once

#include <QMenu>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "platform/screen_layout.h"

class QActionGroup;

namespace zorvan::app {

// One line of the Screen menu.
struct ScreenMenuItem {
    QString text;      // "&2  DUMMY1 — 800×600"
    std::string name;  // the screen's name, as saved
    bool checked = false;
    bool enabled = true;
    friend bool operator==(const ScreenMenuItem&, const ScreenMenuItem&) = default;
};

// The lines of the Screen menu: every screen with its size, the primary
// marked, the board's checked. A screen named on the command line wins for
// the run: the others are then shown but cannot be chosen.
std::vector<ScreenMenuItem> screenMenuItems(const std::vector<ScreenInfo>& screens,
                                            const std::string& boardScreen,
                                            const std::string& commandLineScreen);

// The board's screen chosen from a menu, in the window and the tray alike
// (one menu, added to both). Built afresh each time it opens: screens come
// and go.
class ScreenMenu : public QMenu {
    Q_OBJECT
  public:
    struct Source {
        std::function<std::vector<ScreenInfo>()> screens;
        std::function<std::string()> boardScreen;
        std::string commandLineScreen;
        std::function<void(const std::string& name)> choose;
    };

    ScreenMenu(Source source, QWidget* parent = nullptr);

    // Fills the menu now (it also does so each time it is about to show).
    void rebuild();

  private:
    Source source_;
    QActionGroup* group_ = nullptr;
};

}  // namespace zorvan::app
