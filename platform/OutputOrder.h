#pragma once

#include <string>
#include <vector>

// The order a desktop gives its outputs, its primary one first, where it says so. Wayland
// has no such notion, and Qt lists the outputs in the order the compositor announced them:
// each desktop that tells the order its own way is one class behind this interface, and
// the monitor list (platform/qt/Monitors.cpp) asks them in turn.
class TOutputOrder {
public:
    virtual ~TOutputOrder() = default;

    // The outputs' names (as QScreen::name() gives them), the primary first; nothing when
    // this desktop does not say, or this is no Wayland session of it.
    virtual std::vector<std::string> Names() = 0;
};
