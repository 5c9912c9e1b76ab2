#pragma once

#include <functional>

// One desktop's way of telling that nobody can see the program's windows: the screens
// they are on are off or blanked, or something covers every one of them. Each desktop
// has its own (GNOME's power saving, KDE's DPMS, Wayland's frame callbacks, the X
// server's DPMS, screen saver and window visibility); the host combines them, and while
// any of them says so the painters rest (docs/visibility.md).
//
// A source that cannot tell says seen: where a desktop gives no sign, the saver paints.
class TVisibilitySource {
public:
    virtual ~TVisibilitySource() = default;

    // Whether any of the windows may be seen, as far as this source can tell.
    virtual bool Seen() const = 0;

    // Starts watching. Changed is called whenever Seen may have changed, from the event
    // loop of the calling thread, never from within Watch.
    virtual void Watch(std::function<void()> Changed) = 0;
};
