#include "platform/display_probe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zorvan {

namespace {

std::string xcbErrorText(int code) {
    switch (code) {
        case XCB_CONN_CLOSED_PARSE_ERR:
            return "not a valid display name";
        case XCB_CONN_CLOSED_INVALID_SCREEN:
            return "the server has no such screen";
        case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
        case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
        case XCB_CONN_CLOSED_REQ_LEN_EXCEED:
        case XCB_CONN_ERROR:
        default:
            // Nothing listens, or the server refused us (no authorization).
            return "no X server accepts the connection";
    }
}

}  // namespace

bool xServerReachable(const std::string& display, std::string& why) {
    struct Disconnect {
        void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
    };
    std::unique_ptr<xcb_connection_t, Disconnect> connection(xcb_connect(display.c_str(), nullptr));
    if (const int error = xcb_connection_has_error(connection.get()); error != 0) {
        why = xcbErrorText(error);
        return false;
    }
    return true;
}

bool waylandReachable(const std::string& display, std::string& why) {
    std::string path = display;
    if (path.empty() || path.front() != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') {
            why = "XDG_RUNTIME_DIR is not set, so its socket cannot be found";
            return false;
        }
        path = std::string(runtime) + "/" + (path.empty() ? "wayland-0" : path);
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        why = "its socket path is too long";
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::string("cannot make a socket: ") + std::strerror(errno);
        return false;
    }
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected) {
        why = "nothing listens at " + path + " (" + std::strerror(errno) + ")";
    }
    ::close(fd);
    return connected;
}

}  // namespace zorvan
