#include "platform/x11/X11Display.h"

#include "platform/Errors.h"
#include "platform/qt/QtMessages.h"
#include "platform/x11/XcbReply.h"

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {
constexpr std::uint8_t ErrorResponse = 0;
constexpr std::uint8_t SyntheticBit = 0x80;
// Fewer bits than a 15-bit visual has are a palette in all but name; Qt cannot paint there.
constexpr std::uint8_t LeastTrueColourDepth = 15;
} // namespace

const xcb_visualtype_t* FindVisual(const xcb_setup_t* Setup, std::uint32_t Visual) {
    for (auto Screens = xcb_setup_roots_iterator(Setup); Screens.rem; xcb_screen_next(&Screens))
        for (auto Depths = xcb_screen_allowed_depths_iterator(Screens.data); Depths.rem;
             xcb_depth_next(&Depths))
            for (auto Visuals = xcb_depth_visuals_iterator(Depths.data); Visuals.rem;
                 xcb_visualtype_next(&Visuals))
                if (Visuals.data->visual_id == Visual)
                    return Visuals.data;
    return nullptr;
}

xcb_connection_t* QtConnection() {
    const auto* X11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return X11 ? X11->connection() : nullptr;
}

TX11Display::TX11Display() {
    FConnection = xcb_connect(nullptr, &FScreen);
    if (xcb_connection_has_error(FConnection)) {
        xcb_disconnect(FConnection);
        FConnection = nullptr;
        throw EYstreloError(CannotOpenDisplayMessage);
    }
    char* Host = nullptr;
    int Number = 0;
    if (xcb_parse_display(nullptr, &Host, &Number, nullptr)) {
        FServerName = std::string(Host) + ":" + std::to_string(Number);
        std::free(Host);
    }
}

TX11Display::~TX11Display() {
    if (FConnection)
        xcb_disconnect(FConnection);
}

int TX11Display::Fd() const {
    return xcb_get_file_descriptor(FConnection);
}

bool TX11Display::Broken() const {
    return xcb_connection_has_error(FConnection) != 0;
}

void TX11Display::Flush() {
    xcb_flush(FConnection);
}

xcb_screen_t* TX11Display::ScreenOf(TX11Window Window) const {
    TReply<xcb_get_geometry_reply_t> Geometry(
        xcb_get_geometry_reply(FConnection, xcb_get_geometry(FConnection, Window), nullptr));
    auto Screens = xcb_setup_roots_iterator(xcb_get_setup(FConnection));
    xcb_screen_t* First = Screens.data;
    for (; Screens.rem; xcb_screen_next(&Screens))
        if (Geometry && Screens.data->root == Geometry->root)
            return Screens.data;
    return First;
}

TX11Window TX11Display::DefaultRoot() const {
    auto Screens = xcb_setup_roots_iterator(xcb_get_setup(FConnection));
    for (int Index = 0; Index < FScreen && Screens.rem > 1; ++Index)
        xcb_screen_next(&Screens);
    return Screens.data->root;
}

std::string TX11Display::DisplayNameFor(TX11Window Window) const {
    const xcb_screen_t* Wanted = ScreenOf(Window);
    int Index = 0;
    for (auto Screens = xcb_setup_roots_iterator(xcb_get_setup(FConnection));
         Screens.rem && Screens.data != Wanted; xcb_screen_next(&Screens))
        ++Index;
    // The text as given, with its screen part (after the display number) replaced; the
    // connection works, so the text is one libxcb understands.
    std::string Name = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    const std::size_t Colon = Name.rfind(':');
    const std::size_t Dot = Name.find('.', Colon == std::string::npos ? 0 : Colon);
    if (Dot != std::string::npos)
        Name.erase(Dot);
    return Name + "." + std::to_string(Index);
}

bool TX11Display::TrueColour(TX11Window Window) const {
    xcb_generic_error_t* RawError = nullptr;
    TReply<xcb_get_window_attributes_reply_t> Attributes(xcb_get_window_attributes_reply(
        FConnection, xcb_get_window_attributes(FConnection, Window), &RawError));
    TReply<xcb_generic_error_t> Error(RawError);
    TReply<xcb_get_geometry_reply_t> Geometry(
        xcb_get_geometry_reply(FConnection, xcb_get_geometry(FConnection, Window), &RawError));
    Error.reset(RawError);
    if (!Attributes || !Geometry)
        throw EYstreloError("the window is gone");
    const xcb_visualtype_t* Visual = FindVisual(xcb_get_setup(FConnection), Attributes->visual);
    return Visual &&
           (Visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR ||
            Visual->_class == XCB_VISUAL_CLASS_DIRECT_COLOR) &&
           Geometry->depth >= LeastTrueColourDepth;
}

TX11Display::TWindowState TX11Display::WindowState(TX11Window Window) const {
    if (Broken())
        return TWindowState::Gone;
    TReply<xcb_generic_error_t> Error;
    xcb_generic_error_t* RawError = nullptr;
    TReply<xcb_get_window_attributes_reply_t> Attributes(xcb_get_window_attributes_reply(
        FConnection, xcb_get_window_attributes(FConnection, Window), &RawError));
    Error.reset(RawError);
    if (!Attributes)
        return TWindowState::Gone;
    return Attributes->map_state == XCB_MAP_STATE_VIEWABLE ? TWindowState::Visible
                                                           : TWindowState::Hidden;
}

TX11Rect TX11Display::GetWindowRect(TX11Window Window) const {
    xcb_generic_error_t* RawError = nullptr;
    TReply<xcb_get_geometry_reply_t> Geometry(
        xcb_get_geometry_reply(FConnection, xcb_get_geometry(FConnection, Window), &RawError));
    TReply<xcb_generic_error_t> Error(RawError);
    if (!Geometry)
        throw EYstreloError("the window is gone");
    TReply<xcb_translate_coordinates_reply_t> Origin(xcb_translate_coordinates_reply(
        FConnection, xcb_translate_coordinates(FConnection, Window, Geometry->root, 0, 0),
        &RawError));
    Error.reset(RawError);
    if (!Origin)
        throw EYstreloError("the window is gone");
    return {Origin->dst_x, Origin->dst_y, Origin->dst_x + Geometry->width,
            Origin->dst_y + Geometry->height};
}

void TX11Display::WatchWindow(TX11Window Window) {
    FWatched = Window;
    FRewatch = false;
    // Visibility depends on every ancestor, and the host (or its window manager) may hide
    // one of them instead of the window itself. Selecting events is per client, so this
    // does not disturb the windows' owners.
    const std::uint32_t Mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    TX11Window Current = Window;
    for (;;) {
        xcb_change_window_attributes(FConnection, Current, XCB_CW_EVENT_MASK, &Mask);
        xcb_generic_error_t* RawError = nullptr;
        TReply<xcb_query_tree_reply_t> Tree(
            xcb_query_tree_reply(FConnection, xcb_query_tree(FConnection, Current), &RawError));
        TReply<xcb_generic_error_t> Error(RawError);
        if (!Tree || Tree->parent == XCB_NONE || Tree->parent == Tree->root)
            break;
        Current = Tree->parent;
    }
    xcb_flush(FConnection);
}

void TX11Display::SetExposeHandler(TX11Window Window, TExposeHandler Handler) {
    FExposeHandlers[Window] = std::move(Handler);
}

void TX11Display::RemoveExposeHandler(TX11Window Window) {
    FExposeHandlers.erase(Window);
}

bool TX11Display::ProcessEvents() {
    bool Changed = false;
    while (TReply<xcb_generic_event_t> Event{xcb_poll_for_event(FConnection)}) {
        switch (Event->response_type & ~SyntheticBit) {
        case ErrorResponse:
            ++FIgnoredErrors;
            break;
        case XCB_EXPOSE: {
            const auto* Expose = reinterpret_cast<const xcb_expose_event_t*>(Event.get());
            const auto Handler = FExposeHandlers.find(Expose->window);
            if (Handler != FExposeHandlers.end())
                Handler->second(Expose->x, Expose->y, Expose->width, Expose->height);
            break;
        }
        case XCB_REPARENT_NOTIFY:
            // The chain of ancestors changed: watch the new one.
            FRewatch = true;
            Changed = true;
            break;
        case XCB_MAP_NOTIFY:
        case XCB_UNMAP_NOTIFY:
        case XCB_DESTROY_NOTIFY:
            Changed = true;
            break;
        default:
            break;
        }
    }
    if (Broken())
        return true;
    if (FRewatch && FWatched)
        WatchWindow(FWatched);
    return Changed;
}
