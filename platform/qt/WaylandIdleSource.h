#pragma once

#include "platform/IdleSource.h"

#include <memory>

// The Wayland compositor's idle clock: ext-idle-notify-v1 where the compositor has it
// (KDE Plasma 6, sway 1.8 and newer, Hyprland, labwc, ...), otherwise KDE's older
// org_kde_kwin_idle (sway 1.7, Plasma 5). The compositor honours idle-inhibit itself.
class TWaylandIdleSource : public TIdleSource {
public:
    // Nothing when the compositor has neither protocol; raises EYstreloError when
    // $WAYLAND_DISPLAY names no compositor that answers.
    static std::unique_ptr<TIdleSource> Open();
};
