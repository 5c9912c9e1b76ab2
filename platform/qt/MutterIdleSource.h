#pragma once

#include "platform/IdleSource.h"

#include <memory>

// GNOME's idle clock: mutter's org.gnome.Mutter.IdleMonitor on the session bus, under
// Wayland and X11 alike. While gnome-session runs, its idle inhibitors hold it off.
class TMutterIdleSource : public TIdleSource {
public:
    // Nothing when there is no session bus or no idle monitor on it.
    static std::unique_ptr<TIdleSource> Open();
};
