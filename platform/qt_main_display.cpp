#include "platform/qt_main_display.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace zorvan {

QtMainDisplay::QtMainDisplay(QObject* parent) : QObject(parent) {
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this](QScreen* screen) {
        follow(screen);
        refresh();
    });
    follow(QGuiApplication::primaryScreen());
    refresh();
}

void QtMainDisplay::follow(QScreen* screen) {
    if (followed_ != nullptr) {
        disconnect(followed_, nullptr, this, nullptr);
    }
    followed_ = screen;
    if (screen != nullptr) {
        connect(screen, &QScreen::geometryChanged, this, &QtMainDisplay::refresh);
        connect(screen, &QScreen::physicalDotsPerInchChanged, this, &QtMainDisplay::refresh);
        connect(screen, &QObject::destroyed, this, [this] { followed_ = nullptr; });
    }
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

void QtMainDisplay::refresh() {
    packed_.store(pack(pixelSizeOf(QGuiApplication::primaryScreen())), std::memory_order_relaxed);
}

DisplaySize QtMainDisplay::pixelSize() const {
    return unpack(packed_.load(std::memory_order_relaxed));
}

}  // namespace zorvan
