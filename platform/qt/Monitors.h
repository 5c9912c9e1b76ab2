#pragma once

#include <QRect>

#include <optional>
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
};

// The desktop's monitors, in the order of Qt's screen list. Tests may hand in a list of
// their own (for example one whose primary is not the first), which stands until reset.
class TMonitors {
public:
    static std::vector<TMonitor> List();
    static void Override(std::optional<std::vector<TMonitor>> Monitors);
};
