#pragma once

// What the windowed modes need to know of Qt's Wayland platform, where it behaves unlike
// the X11 one.
class TWaylandPlatform {
public:
    // Whether the application object runs on Qt's Wayland platform.
    static bool Active();
    // Whether the pointer's entering a window reports a position that no motion event
    // repeats. A Wayland compositor tells a window where the pointer came in with the
    // enter event alone; X sends a motion event too.
    static bool EnterIsMotion() { return Active(); }
};
