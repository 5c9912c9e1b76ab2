#pragma once

#include <string>

// Screen-saver hosts that already start a saver when the X11 session goes idle:
// XScreenSaver, mate-screensaver, xfce4-screensaver, or any other owner of
// org.freedesktop.ScreenSaver on the session bus.
class TSaverHosts {
public:
    // The running host's name as users know it ("XScreenSaver"), or nothing.
    static std::string Running();
};
