#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

struct xcb_connection_t;
struct xcb_screen_t;
struct xcb_setup_t;
struct xcb_visualtype_t;

// An X window id, as other programs hand it to us.
using TX11Window = std::uint32_t;

struct TX11Rect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0; // one past the last column
    std::int32_t Bottom = 0;
};

// The connection Qt's X11 platform holds, or none when Qt runs on another platform (the
// offscreen one of the tests) or has no application object yet.
xcb_connection_t* QtConnection();

// The description of a visual of any screen of the server; none for an unknown id.
const xcb_visualtype_t* FindVisual(const xcb_setup_t* Setup, std::uint32_t Visual);

// A connection to the X server, with the window queries the preview needs and an event
// pump that never blocks. X errors (mostly about windows that vanished under us, which
// is normal when a host tears its window down) are swallowed: they arrive as events and
// are dropped, so nothing is ever printed for them.
class TX11Display {
public:
    enum class TWindowState { Gone, Hidden, Visible };
    using TExposeHandler = std::function<void(int X, int Y, int Width, int Height)>;

    // Connects to $DISPLAY; raises EYstreloError when that fails.
    TX11Display();
    ~TX11Display();

    TX11Display(const TX11Display&) = delete;
    TX11Display& operator=(const TX11Display&) = delete;

    xcb_connection_t* Connection() const { return FConnection; }
    // The screen whose root is the ancestor of Window (the first screen if unknown).
    xcb_screen_t* ScreenOf(TX11Window Window) const;
    // The root window of the screen $DISPLAY names.
    TX11Window DefaultRoot() const;
    // $DISPLAY, naming the screen Window lies on ("host:0.1"): a toolkit started with it
    // makes its windows on that screen, the only one where they can be Window's children.
    std::string DisplayNameFor(TX11Window Window) const;
    // Whether Window's pixels are colours of their own (a true-colour or direct-colour
    // visual, 15 bits or more), as our pixels need; false for a palette of 256 colours.
    bool TrueColour(TX11Window Window) const;
    // Readable when the server sent something.
    int Fd() const;
    // The server went away: every window is gone from our point of view.
    bool Broken() const;
    // The server we talk to, as "host:display" (":0" for a local one), whichever screen
    // of it $DISPLAY named.
    std::string ServerName() const { return FServerName; }

    // Visible means mapped and viewable: the window and all its ancestors are mapped.
    TWindowState WindowState(TX11Window Window) const;
    bool IsWindowVisible(TX11Window Window) const {
        return WindowState(Window) == TWindowState::Visible;
    }
    // The window's rectangle in root coordinates, border excluded. Raises EYstreloError
    // when the window is gone.
    TX11Rect GetWindowRect(TX11Window Window) const;

    // Reports (through ProcessEvents) every map, unmap, destroy or reparent of Window and
    // of each of its ancestors, so a change of visibility is noticed without polling.
    void WatchWindow(TX11Window Window);
    // Exposures of one of our own windows go to its handler.
    void SetExposeHandler(TX11Window Window, TExposeHandler Handler);
    void RemoveExposeHandler(TX11Window Window);

    // Handles every event that has arrived; true when a watched window may have changed
    // its visibility (or the connection broke). Never blocks.
    bool ProcessEvents();
    // Sends buffered requests; call before waiting.
    void Flush();

    // Errors the server reported and we dropped (for tests and diagnosis).
    int IgnoredErrors() const { return FIgnoredErrors; }

private:
    xcb_connection_t* FConnection = nullptr;
    int FScreen = 0;
    std::string FServerName;
    TX11Window FWatched = 0;
    bool FRewatch = false;
    int FIgnoredErrors = 0;
    std::map<TX11Window, TExposeHandler> FExposeHandlers;
};
