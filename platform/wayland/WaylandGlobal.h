#pragma once

#include "platform/wayland/WaylandDisplay.h"

#include <cstdint>
#include <optional>

struct wl_interface;
struct wl_proxy;

// One global of the compositor's, bound on a connection of our own for a question asked
// once (the outputs' order, say), so nothing of Qt's sees it. Both go with the object.
class TWaylandGlobal {
public:
    // Binds the first global of Interface the compositor offers, at Version or the one
    // offered if lower. Destructor: the interface's destructor request, if it has one.
    TWaylandGlobal(const wl_interface& Interface, std::uint32_t Version,
                   std::optional<std::uint32_t> Destructor);
    ~TWaylandGlobal();
    TWaylandGlobal(const TWaylandGlobal&) = delete;
    TWaylandGlobal& operator=(const TWaylandGlobal&) = delete;

    // Nothing when no compositor answers or it offers no such global.
    wl_proxy* Proxy() const { return FProxy; }
    // Dispatches the events of one round trip; false when the connection failed.
    bool RoundTrip();

private:
    std::optional<TWaylandDisplay> FOwn;
    wl_proxy* FProxy = nullptr;
    std::optional<std::uint32_t> FDestructor;
};
