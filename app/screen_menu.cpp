#include "app/screen_menu.h"

#include <QAction>
#include <QActionGroup>

namespace zorvan::app {

std::vector<ScreenMenuItem> screenMenuItems(const std::vector<ScreenInfo>& screens,
                                            const std::string& boardScreen,
                                            const std::string& commandLineScreen) {
    std::vector<ScreenMenuItem> items;
    int number = 0;
    for (const ScreenInfo& screen : screens) {
        ++number;
        ScreenMenuItem item;
        item.name = screen.name;
        // Numbered, so the keyboard reaches each screen with one key.
        item.text = QStringLiteral("&%1  %2 — %3×%4")
                        .arg(number)
                        .arg(QString::fromStdString(screen.name))
                        .arg(screen.pixels.width)
                        .arg(screen.pixels.height);
        if (screen.primary) {
            item.text += QMenu::tr(", primary");
        }
        item.checked = screen.name == boardScreen;
        item.enabled = commandLineScreen.empty();
        items.push_back(std::move(item));
    }
    return items;
}

ScreenMenu::ScreenMenu(Source source, QWidget* parent)
    : QMenu(tr("&Screen"), parent), source_(std::move(source)) {
    connect(this, &QMenu::aboutToShow, this, &ScreenMenu::rebuild);
    rebuild();
}

void ScreenMenu::rebuild() {
    clear();
    delete group_;
    group_ = nullptr;
    const std::vector<ScreenMenuItem> items =
        screenMenuItems(source_.screens(), source_.boardScreen(), source_.commandLineScreen);
    if (!source_.commandLineScreen.empty()) {
        addAction(tr("Set by --screen %1 for this run")
                      .arg(QString::fromStdString(source_.commandLineScreen)))
            ->setEnabled(false);
        addSeparator();
    }
    if (items.empty()) {
        addAction(tr("No screen found"))->setEnabled(false);
        return;
    }
    group_ = new QActionGroup(this);
    for (const ScreenMenuItem& item : items) {
        QAction* action = addAction(item.text);
        action->setCheckable(true);
        action->setChecked(item.checked);
        action->setEnabled(item.enabled);
        action->setActionGroup(group_);
        const std::string name = item.name;
        connect(action, &QAction::triggered, this, [this, name] { source_.choose(name); });
    }
}

}  // namespace zorvan::app
