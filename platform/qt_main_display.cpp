#include "platform/qt_main_display.h"

#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QScreen>

#include "platform/qt_screens.h"

namespace zorvan {

QtMainDisplay::QtMainDisplay(QObject* parent) : QObject(parent) {
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &QtMainDisplay::refresh);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        follow(screen);
        refresh();
    });
    // Qt still lists a screen while it announces its removal.
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &QtMainDisplay::refresh,
            Qt::QueuedConnection);
    for (QScreen* screen : QGuiApplication::screens()) {
        follow(screen);
    }
    refresh();
}

void QtMainDisplay::follow(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, &QtMainDisplay::refresh);
    connect(screen, &QScreen::physicalDotsPerInchChanged, this, &QtMainDisplay::refresh);
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &QtMainDisplay::refresh);
}

void QtMainDisplay::refresh() {
    std::vector<ScreenInfo> screens = currentScreens();
    {
        const std::lock_guard lock(mutex_);
        if (screens == screens_) {
            return;
        }
        screens_ = std::move(screens);
    }
    if (onChange_) {
        onChange_();
    }
}

std::vector<ScreenInfo> QtMainDisplay::screens() const {
    const std::lock_guard lock(mutex_);
    return screens_;
}

DisplaySize QtMainDisplay::pixelSizeOf(const QScreen* screen) {
    DisplaySize size;
    if (screen != nullptr) {
        const QSize logical = screen->geometry().size();
        const double ratio = screen->devicePixelRatio();
        size.width = static_cast<std::uint32_t>(std::max(0L, std::lround(logical.width() * ratio)));
        size.height =
            static_cast<std::uint32_t>(std::max(0L, std::lround(logical.height() * ratio)));
    }
    return size;
}

DisplaySize QtMainDisplay::pixelSize() const {
    return boardScreen({}).placement.pixels;
}

BoardScreen QtMainDisplay::boardScreen(const std::string& requested) const {
    const std::lock_guard lock(mutex_);
    return chooseBoardScreen(screens_, requested);
}

}  // namespace zorvan
