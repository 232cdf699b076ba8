#include "platform/randr_screens.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "platform/xcb_connection.h"

namespace zorvan {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> reply(T* r) {
    return Reply<T>(r, &std::free);
}

std::string atomName(xcb_connection_t* c, xcb_atom_t atom) {
    auto name = reply(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr));
    if (!name) {
        return {};
    }
    return std::string(xcb_get_atom_name_name(name.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(name.get())));
}

}  // namespace

RandrScreens::RandrScreens(const std::string& displayName) {
    auto connection = std::make_unique<XcbConnection>(displayName);
    if (connection->status() != XcbConnection::Status::Connected ||
        !connection->hasExtension(&xcb_randr_id)) {
        return;
    }
    xcb_connection_t* c = connection->get();
    auto version =
        reply(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    if (!version || version->major_version < 1 ||
        (version->major_version == 1 && version->minor_version < 5)) {
        return;
    }
    connection_ = std::move(connection);
}

RandrScreens::~RandrScreens() = default;

std::vector<ScreenInfo> RandrScreens::screens() const {
    const std::lock_guard lock(mutex_);
    std::vector<ScreenInfo> result;
    if (!connection_ || !connection_->healthy()) {
        return result;
    }
    xcb_connection_t* c = connection_->get();
    auto monitors = reply(xcb_randr_get_monitors_reply(
        c, xcb_randr_get_monitors(c, connection_->root(), 1), nullptr));
    if (!monitors) {
        return result;
    }
    for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        ScreenInfo info;
        info.name = atomName(c, it.data->name);
        info.rect = {it.data->x, it.data->y, it.data->width, it.data->height};
        info.pixels = {it.data->width, it.data->height};
        info.primary = it.data->primary != 0;
        result.push_back(std::move(info));
    }
    return result;
}

BoardScreen RandrScreens::boardScreen(const std::string& requested) const {
    return chooseBoardScreen(screens(), requested);
}

}  // namespace zorvan
