#pragma once

#include <chrono>

struct wl_display;

// A connection of our own to the Wayland compositor $WAYLAND_DISPLAY names, made before
// Qt starts: Qt's Wayland platform aborts the process when it finds no compositor, and a
// compositor that accepts the connection but never answers would hold Qt's start-up for
// ever. The connection is only a probe; it is closed with the object.
class TWaylandDisplay {
public:
    // How long the compositor may take to answer the first round trip.
    static constexpr std::chrono::milliseconds AnswerWithin{5000};

    // Connects and waits for one round trip; raises EYstreloError when there is no
    // compositor or it does not answer in time.
    TWaylandDisplay();
    ~TWaylandDisplay();

    TWaylandDisplay(const TWaylandDisplay&) = delete;
    TWaylandDisplay& operator=(const TWaylandDisplay&) = delete;

    wl_display* Display() const { return FDisplay; }

    // A Wayland session: $WAYLAND_DISPLAY names a compositor socket.
    static bool Session();

private:
    wl_display* FDisplay = nullptr;
};
