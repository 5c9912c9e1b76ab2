#pragma once

#include <chrono>
#include <functional>
#include <string>

// One desktop's idle clock: it says when the user has left every input device alone for a
// while, and when they are back. Each desktop has its own (a Wayland protocol, GNOME's
// idle monitor, the X server's counter); the idle watcher knows only this.
//
// A source honours the desktop's inhibitors (a video playing, a presentation): while one
// holds the desktop awake it reports no idle period.
class TIdleSource {
public:
    struct THandlers {
        // No input for the duration given to Watch. Once per idle period.
        std::function<void()> Idle;
        // Input again after Idle.
        std::function<void()> Active;
        // The display, compositor or bus the source listens to is gone: the line says so,
        // and the watcher ends with a failure.
        std::function<void(const std::string& Line)> Lost;
        // A screen-saver host of the desktop appeared and takes over idle time: the line
        // names it, and the watcher ends without a failure.
        std::function<void(const std::string& Line)> StepAside;
    };

    virtual ~TIdleSource() = default;

    // Starts watching; the handlers are called from the event loop of the calling thread,
    // never from within Watch. The clock may count from this call rather than from the
    // last input: a user already idle waits the whole Duration once more.
    virtual void Watch(std::chrono::milliseconds Duration, THandlers Handlers) = 0;

    // What it listens to, for the watcher's lines: "ext-idle-notify-v1", "GNOME's idle
    // monitor", "the X server's IDLETIME counter".
    virtual std::string Name() const = 0;
};
