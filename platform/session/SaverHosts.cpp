#include "platform/session/SaverHosts.h"

#include "platform/Errors.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/XcbReply.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <cstring>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

namespace {
// XScreenSaver's daemon keeps a small window of its own with this property on it. The
// root window's _SCREENSAVER_STATUS would say the same, but outlives a daemon killed
// with SIGKILL; the window goes with its process.
constexpr const char* DaemonWindowProperty = "_SCREENSAVER_VERSION";

// Whether an XScreenSaver daemon runs on the server of $DISPLAY. No server, no daemon:
// the idle source then says why it cannot watch.
bool XScreenSaverOnDisplay() {
    std::optional<TX11Display> Server;
    try {
        Server.emplace();
    } catch (const EYstreloError&) {
        return false;
    }
    xcb_connection_t* Connection = Server->Connection();
    TReply<xcb_intern_atom_reply_t> Atom(xcb_intern_atom_reply(
        Connection,
        xcb_intern_atom(Connection, 1, std::strlen(DaemonWindowProperty), DaemonWindowProperty),
        nullptr));
    // A name nobody ever interned is on no window.
    if (!Atom || Atom->atom == XCB_ATOM_NONE)
        return false;
    TReply<xcb_query_tree_reply_t> Tree(xcb_query_tree_reply(
        Connection, xcb_query_tree(Connection, Server->DefaultRoot()), nullptr));
    if (!Tree)
        return false;
    const xcb_window_t* Children = xcb_query_tree_children(Tree.get());
    const int Count = xcb_query_tree_children_length(Tree.get());
    // All questions first, then the answers: one round trip for a desktop's many windows.
    std::vector<xcb_get_property_cookie_t> Asked;
    for (int Index = 0; Index < Count; ++Index)
        Asked.push_back(xcb_get_property(Connection, 0, Children[Index], Atom->atom,
                                         XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
    bool Found = false;
    for (const auto& Cookie : Asked) {
        TReply<xcb_get_property_reply_t> Property(
            xcb_get_property_reply(Connection, Cookie, nullptr));
        Found = Found || (Property && Property->type != XCB_ATOM_NONE);
    }
    return Found;
}

} // namespace

std::string TSaverHosts::Running() {
    if (XScreenSaverOnDisplay())
        return XScreenSaverName;
    return OnTheBus();
}

std::string TSaverHosts::OnTheBus() {
    const QDBusConnection Bus = QDBusConnection::sessionBus();
    const QDBusConnectionInterface* Names = Bus.isConnected() ? Bus.interface() : nullptr;
    if (!Names)
        return {};
    for (const auto& Host : KnownSaverHosts)
        if (Names->isServiceRegistered(Host.BusName))
            return Host.Name;
    return {};
}
