#include "platform/screen_layout.h"

#include <algorithm>
#include <cstdint>

namespace zorvan {

namespace {

DesktopRect boundingBox(const std::vector<ScreenInfo>& screens) {
    if (screens.empty()) {
        return {};
    }
    std::int64_t left = screens.front().rect.x;
    std::int64_t top = screens.front().rect.y;
    std::int64_t right = left;
    std::int64_t bottom = top;
    for (const ScreenInfo& s : screens) {
        left = std::min<std::int64_t>(left, s.rect.x);
        top = std::min<std::int64_t>(top, s.rect.y);
        right = std::max<std::int64_t>(right, std::int64_t{s.rect.x} + s.rect.width);
        bottom = std::max<std::int64_t>(bottom, std::int64_t{s.rect.y} + s.rect.height);
    }
    const auto extent = [](std::int64_t from, std::int64_t to) {
        return static_cast<std::uint32_t>(std::min<std::int64_t>(to - from, UINT32_MAX));
    };
    return {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top), extent(left, right),
            extent(top, bottom)};
}

const ScreenInfo* find(const std::vector<ScreenInfo>& screens, const std::string& requested) {
    if (!requested.empty()) {
        for (const ScreenInfo& s : screens) {
            if (s.name == requested) {
                return &s;
            }
        }
    }
    for (const ScreenInfo& s : screens) {
        if (s.primary) {
            return &s;
        }
    }
    return screens.empty() ? nullptr : &screens.front();
}

}  // namespace

BoardScreen chooseBoardScreen(const std::vector<ScreenInfo>& screens,
                              const std::string& requested) {
    BoardScreen board;
    const ScreenInfo* chosen = find(screens, requested);
    if (!requested.empty() && (chosen == nullptr || chosen->name != requested)) {
        board.missing = requested;
    }
    if (chosen != nullptr) {
        board.name = chosen->name;
        board.placement = {chosen->pixels, chosen->rect, boundingBox(screens)};
    }
    return board;
}

std::string screenListText(const std::vector<ScreenInfo>& screens, const std::string& requested) {
    const BoardScreen board = chooseBoardScreen(screens, requested);
    std::string text;
    for (const ScreenInfo& s : screens) {
        text += (s.name.empty() ? std::string("(unnamed)") : s.name) + " " + rectText(s.rect);
        if (s.pixels.width != s.rect.width || s.pixels.height != s.rect.height) {
            text += " (" + std::to_string(s.pixels.width) + "x" + std::to_string(s.pixels.height) +
                    " pixels)";
        }
        if (s.primary) {
            text += " primary";
        }
        if (s.name == board.name) {
            text += " board";
        }
        text += "\n";
    }
    return text;
}

}  // namespace zorvan
