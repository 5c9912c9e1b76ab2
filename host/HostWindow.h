#pragma once

#include "platform/SignalWatch.h"
#include "platform/x11/X11Display.h"

#include <optional>
#include <string>

// The window of a screen-saver host that a copy of the program paints into (preview mode,
// and the saver in a host's window): the connection that watches it, the signals that end
// the copy, and the guards.
//
// Create it first thing, before any other thread exists: its signal watch blocks
// SIGTERM, SIGINT and SIGHUP, and threads started later inherit that.
class THostWindow {
public:
    // Window, or without one the root window of $DISPLAY's screen ("-root" outside a
    // host). Raises EYstreloError when there is no display or Window names no window.
    explicit THostWindow(std::optional<TX11Window> Window);

    THostWindow(const THostWindow&) = delete;
    THostWindow& operator=(const THostWindow&) = delete;

    // Waits, without spinning, until the window is shown and its guards are ours. False
    // when the copy is to end quietly instead: the window went, a signal came, or another
    // copy kept painting into the window. Raises when the connection to the server is lost.
    bool WaitUntilShown();
    // Takes the events that arrived; false once the window is no longer shown (unmapped,
    // an ancestor unmapped, destroyed). Never blocks. Raises when the connection is lost.
    bool StillShown();
    // A termination signal has arrived.
    bool SignalReceived() { return FSignals.Received() != 0; }

    TX11Window Window() const { return FWindow; }
    // Whether the window is a screen's root window: nobody's child, under every other.
    bool Root() const;
    // The window's rectangle in root coordinates, right and bottom one past its last
    // pixel; raises EYstreloError when it is gone.
    TX11Rect Rect() const { return FDisplay.GetWindowRect(FWindow); }
    TX11Display& Display() { return FDisplay; }
    int SignalFd() const { return FSignals.Fd(); }

private:
    void CheckConnection() const;

    TSignalWatch FSignals;
    TX11Display FDisplay;
    TX11Window FWindow;
    // Names the window within its server, for its guard.
    std::string FGuardName;
};

// "0x40000e", as ids are shown to users.
std::string WindowText(TX11Window Window);
