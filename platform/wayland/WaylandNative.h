#pragma once

class QWindow;
struct wl_display;
struct wl_surface;

// Qt's own Wayland objects: its connection to the compositor and a window's surface, for
// requests of ours made on Qt's connection (a sub-surface of Qt's window, globals bound
// beside Qt's). Qt 6.5 and newer give the connection through
// QNativeInterface::QWaylandApplication; a window's surface, and the connection on Qt 6.4,
// only through the native interface of Qt's Wayland platform, whose class is private to
// Qt. Both are for the GUI thread, once the application object exists.
class TWaylandNative {
public:
    // Qt's connection, or nullptr when Qt does not run on Wayland or it cannot be had.
    static wl_display* Display();
    // Window's surface, or nullptr when Qt does not run on Wayland or the window has none
    // (not shown yet, hidden). Qt makes a new one when it makes the window anew.
    static wl_surface* Surface(QWindow* Window);
    // How Display() reaches Qt's connection with the Qt this was built against.
    static const char* DisplayPath();

    // Set and not empty, the first Display() that finds the connection writes one line to
    // standard error, starting with ReportPrefix: the Qt, and how the connection and the
    // window surfaces were reached. saver_cost reports it.
    static constexpr const char* ReportVariable = "YSTRELO_REPORT_WAYLAND_PATH";
    static constexpr const char* ReportPrefix = "ystrelo: Wayland objects: ";
};
