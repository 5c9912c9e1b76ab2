#pragma once

#include <string>

// Screen-saver hosts that already start a saver when the X11 session goes idle:
// XScreenSaver, mate-screensaver, xfce4-screensaver, or any other owner of
// org.freedesktop.ScreenSaver on the session bus.
class TSaverHosts {
public:
    // The running host's name as users know it ("XScreenSaver"), or nothing. Looks at the
    // X server of $DISPLAY, when there is one, and at the session bus.
    static std::string Running();
    // The same, from the session bus alone.
    static std::string OnTheBus();
};

inline constexpr const char* XScreenSaverName = "XScreenSaver";

// Hosts by the session-bus name only they take: one appearing means it has just started.
struct TSaverHost {
    const char* BusName;
    const char* Name;
};
// xscreensaver-systemd takes org.freedesktop.ScreenSaver too, but only while logind
// answers it: its own name is the surer sign, so it comes first.
inline constexpr TSaverHost KnownSaverHosts[] = {{"org.jwz.XScreenSaver", XScreenSaverName},
                                                 {"org.mate.ScreenSaver", "mate-screensaver"},
                                                 {"org.xfce.ScreenSaver", "xfce4-screensaver"}};
