#pragma once

#include <string>

// The output a Wayland compositor names as the desktop's primary one, where it says so:
// KDE Plasma does, through kde_primary_output_v1; wlroots compositors, such as sway,
// have no primary output. Wayland itself has none either, and Qt's Wayland platform only
// calls the first output the compositor announced its primary screen.
class TWaylandPrimaryOutput {
public:
    // The primary output's name (as QScreen::name() gives it), or nothing: not on
    // Wayland, or the compositor names none. Asks the compositor on Qt's connection, on
    // the GUI thread.
    static std::string Name();
};
