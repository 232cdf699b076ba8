#pragma once

#include <QIcon>
#include <QObject>
#include <functional>

#include "app/status_words.h"

class QMenu;
class QSystemTrayIcon;

namespace zorvan::app {

// The board's look as an icon: a white board with a mark for its state (a
// green dot when connected, amber bars when paused, a red cross when
// unplugged, a grey ring while waiting). Needs a QGuiApplication.
QIcon trayIconFor(TrayLook look);

// The driver in the desktop's system tray: the icon and tooltip follow the
// board, and its menu offers Show window, Calibrate…, Screen ▸ and Quit. A
// click on the icon shows the window (or hides it when it is in front).
class TrayIcon : public QObject {
    Q_OBJECT
  public:
    struct Actions {
        std::function<void()> showWindow;
        std::function<void()> toggleWindow;
        std::function<void()> calibrate;
        QMenu* screenMenu = nullptr;  // added as a submenu, not owned
        std::function<void()> quit;
    };

    explicit TrayIcon(const Actions& actions, QObject* parent = nullptr);
    ~TrayIcon() override;

    void present(const PlainStatus& status);
    QMenu* menu() const { return menu_; }

  private:
    QMenu* menu_;
    QSystemTrayIcon* icon_;
    TrayLook look_ = TrayLook::Waiting;
    bool presented_ = false;
};

}  // namespace zorvan::app
