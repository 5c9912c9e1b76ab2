#include "platform/wayland/WaylandGlobal.h"

#include "platform/Errors.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace {
struct TFound {
    const wl_interface* Interface;
    std::uint32_t Name = 0;
    std::uint32_t Version = 0;
};

void Global(void* Data, wl_registry*, std::uint32_t Name, const char* Interface,
            std::uint32_t Version) {
    auto* Found = static_cast<TFound*>(Data);
    if (!Found->Name && std::strcmp(Interface, Found->Interface->name) == 0) {
        Found->Name = Name;
        Found->Version = Version;
    }
}
void GlobalRemoved(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener RegistryListener = {Global, GlobalRemoved};
} // namespace

TWaylandGlobal::TWaylandGlobal(const wl_interface& Interface, std::uint32_t Version,
                               std::optional<std::uint32_t> Destructor)
    : FDestructor(Destructor) {
    try {
        FOwn.emplace();
    } catch (const EYstreloError&) {
        // No compositor to ask: Qt's own start-up says why, where it matters.
        return;
    }
    TFound Found{&Interface};
    wl_registry* Registry = wl_display_get_registry(FOwn->Display());
    wl_registry_add_listener(Registry, &RegistryListener, &Found);
    if (wl_display_roundtrip(FOwn->Display()) >= 0 && Found.Name)
        FProxy = static_cast<wl_proxy*>(
            wl_registry_bind(Registry, Found.Name, &Interface, std::min(Version, Found.Version)));
    wl_registry_destroy(Registry);
}

TWaylandGlobal::~TWaylandGlobal() {
    if (FProxy && FDestructor)
        wl_proxy_marshal_flags(FProxy, *FDestructor, nullptr, wl_proxy_get_version(FProxy),
                               WL_MARSHAL_FLAG_DESTROY);
    else if (FProxy)
        wl_proxy_destroy(FProxy);
}

bool TWaylandGlobal::RoundTrip() {
    return FProxy && wl_display_roundtrip(FOwn->Display()) >= 0;
}
