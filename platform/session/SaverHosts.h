#pragma once

#include <string>

// Screen-saver hosts that already start a saver when the X11 session goes idle, and can
// run Ystrelo as theirs: XScreenSaver, mate-screensaver, xfce4-screensaver. Another owner
// of org.freedesktop.ScreenSaver is none: KDE's screen locker owns it and runs no saver of
// anyone else's.
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
// Each also takes org.freedesktop.ScreenSaver (xscreensaver-systemd only while logind
// answers it): the name only they take is the surer sign.
inline constexpr TSaverHost KnownSaverHosts[] = {{"org.jwz.XScreenSaver", XScreenSaverName},
                                                 {"org.mate.ScreenSaver", "mate-screensaver"},
                                                 {"org.xfce.ScreenSaver", "xfce4-screensaver"}};
