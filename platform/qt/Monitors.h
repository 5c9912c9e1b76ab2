#pragma once

#include <QRect>

#include <optional>
#include <string>
#include <vector>

class QScreen;

// One monitor of the desktop: its number in the desktop's monitor list, its bounds in
// the desktop's (logical) coordinates, its size in device pixels, and the primary flag.
struct TMonitor {
    int MonitorNum = 0;
    QRect BoundsRect;
    int Width = 0;  // device pixels
    int Height = 0; // device pixels
    bool Primary = false;
    QScreen* Screen = nullptr; // none for monitors handed in by tests
    std::string Name;          // the output's, as the platform names it
};

// The desktop's monitors, numbered as their settings sections are. On X11, in the order
// of Qt's screen list: the RandR primary first. On Wayland, where Qt lists the outputs in
// the order the compositor announced them, which may change from one start to the next,
// in the order of OrderOutputs, given the order the desktop tells, where it tells one.
// Tests may hand in a list of their own (for example one whose primary is not the first),
// which stands until reset.
class TMonitors {
public:
    static std::vector<TMonitor> List();
    static void Override(std::optional<std::vector<TMonitor>> Monitors);

    // The outputs DesktopOrder names first, in its order (the desktop's primary first);
    // then the output at the layout's origin, if it was not named; then the others left to
    // right, and those with the same left edge top to bottom. The first one is the
    // primary; numbers follow the new order.
    static void OrderOutputs(std::vector<TMonitor>& Monitors,
                             const std::vector<std::string>& DesktopOrder);
};
