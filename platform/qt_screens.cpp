#include "platform/qt_screens.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace zorvan {

namespace {

std::uint32_t devicePixels(int logical, double ratio) {
    return static_cast<std::uint32_t>(std::max(0L, std::lround(logical * ratio)));
}

}  // namespace

std::vector<ScreenInfo> currentScreens() {
    std::vector<ScreenInfo> screens;
    const bool logicalDesktop = QGuiApplication::platformName().startsWith("wayland");
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect geometry = screen->geometry();
        const double ratio = screen->devicePixelRatio();
        ScreenInfo info;
        info.name = screen->name().toStdString();
        info.pixels = {devicePixels(geometry.width(), ratio),
                       devicePixels(geometry.height(), ratio)};
        info.rect = {geometry.x(), geometry.y(),
                     logicalDesktop ? static_cast<std::uint32_t>(std::max(0, geometry.width()))
                                    : info.pixels.width,
                     logicalDesktop ? static_cast<std::uint32_t>(std::max(0, geometry.height()))
                                    : info.pixels.height};
        info.primary = screen == primary;
        screens.push_back(std::move(info));
    }
    return screens;
}

QScreen* boardQScreen(const std::string& requested) {
    const BoardScreen board = chooseBoardScreen(currentScreens(), requested);
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name().toStdString() == board.name) {
            return screen;
        }
    }
    return nullptr;
}

}  // namespace zorvan
