#pragma once

// An Xorg server of the test's own with the dummy video driver and outputs side by side,
// each a monitor as RandR reports it. GTK takes its monitors from the outputs and ignores
// the monitors that `xrandr --setmonitor` adds, so GTK hosts need this rather than Xvfb.
// Xorg runs as root (we are), with a configuration, log and display number of its own,
// and no input devices.

#include "tests/host/HostTestSupport.h"

#include <string>
#include <sys/types.h>

class TDummyXorg {
public:
    TDummyXorg(int Width, int Height, int Outputs);
    ~TDummyXorg();
    TDummyXorg(const TDummyXorg&) = delete;
    TDummyXorg& operator=(const TDummyXorg&) = delete;

    // Up, with every output switched on.
    bool Started() const { return FStarted; }
    // ":N"
    const std::string& Display() const { return FDisplay; }
    std::string Log() const;

private:
    TTempDir FDir;
    pid_t FPid = -1;
    std::string FDisplay;
    std::string FRandr; // what xrandr said while the outputs were set up
    bool FStarted = false;
};
