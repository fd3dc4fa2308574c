#include "app/ui/FrameExtents.h"

#include <QGuiApplication>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>
#include <xcb/xcb.h>

namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// The 32-bit items of a property; empty when it is not there.
std::vector<std::uint32_t> Cardinals(xcb_connection_t* connection, xcb_window_t window,
                                     xcb_atom_t property, xcb_atom_t type) {
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, property, type, 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    std::vector<std::uint32_t> items;
    if (reply && reply->format == 32) {
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        items.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return items;
}

}  // namespace

std::optional<QMargins> AskFrameExtents(const QWidget& window) {
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                              : nullptr;
    xcb_connection_t* const connection = x11 ? x11->connection() : nullptr;
    if (!connection) return std::nullopt;
    const xcb_screen_t* const screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen) return std::nullopt;
    const xcb_window_t root = screen->root;
    const xcb_atom_t supported = Atom(connection, "_NET_SUPPORTED");
    const xcb_atom_t request = Atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = Atom(connection, "_NET_FRAME_EXTENTS");
    if (request == XCB_ATOM_NONE || extents == XCB_ATOM_NONE) return std::nullopt;
    // Only a window manager that lists the request answers it; asking another would only wait.
    bool offered = false;
    for (const std::uint32_t atom : Cardinals(connection, root, supported, XCB_ATOM_ATOM))
        offered = offered || atom == request;
    if (!offered) return std::nullopt;

    const xcb_window_t id = xcb_window_t(window.winId());
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
    // The window manager answers within a round trip or two of its own; a busy one is not
    // waited for long, and the window is then re-fitted when its frame turns up, as without.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    for (;;) {
        const std::vector<std::uint32_t> sides =
            Cardinals(connection, id, extents, XCB_ATOM_CARDINAL);
        if (sides.size() == 4)  // left, right, top, bottom
            return QMargins(int(sides[0]), int(sides[2]), int(sides[1]), int(sides[3]));
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
