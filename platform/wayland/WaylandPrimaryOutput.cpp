#include "platform/wayland/WaylandPrimaryOutput.h"

#include "platform/wayland/WaylandNative.h"

#include <wayland-client.h>

#include <cstdint>
#include <cstring>

namespace {
// kde_primary_output_v1 as its protocol file describes it, version 1: one event, and no
// request (the destructor arrived in version 2). Written out here rather than generated,
// as it is this small and no Debian release ships a header for it.
const wl_interface* NoTypes[] = {nullptr};
const wl_message PrimaryOutputEvents[] = {{"primary_output", "s", NoTypes}};
const wl_interface PrimaryOutputInterface = {"kde_primary_output_v1", 1, 0, nullptr, 1,
                                             PrimaryOutputEvents};

struct TLookup {
    wl_proxy* PrimaryOutput = nullptr;
    std::string Name;
};

void PrimaryOutput(void* Data, wl_proxy*, const char* Name) {
    static_cast<TLookup*>(Data)->Name = Name ? Name : "";
}
// A listener is a table of the interface's event handlers, in the order of its events.
struct TPrimaryOutputListener {
    void (*PrimaryOutput)(void*, wl_proxy*, const char*);
};
const TPrimaryOutputListener PrimaryOutputListener = {PrimaryOutput};

void Global(void* Data, wl_registry* Registry, std::uint32_t Name, const char* Interface,
            std::uint32_t) {
    auto* Lookup = static_cast<TLookup*>(Data);
    if (std::strcmp(Interface, PrimaryOutputInterface.name) != 0 || Lookup->PrimaryOutput)
        return;
    Lookup->PrimaryOutput =
        static_cast<wl_proxy*>(wl_registry_bind(Registry, Name, &PrimaryOutputInterface, 1));
    // Before the next round trip, which brings the event the compositor sends on binding.
    wl_proxy_add_listener(Lookup->PrimaryOutput,
                          reinterpret_cast<void (**)(void)>(
                              const_cast<TPrimaryOutputListener*>(&PrimaryOutputListener)),
                          Lookup);
}
void GlobalRemoved(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener RegistryListener = {Global, GlobalRemoved};
} // namespace

std::string TWaylandPrimaryOutput::Name() {
    wl_display* Display = TWaylandNative::Display();
    if (!Display)
        return {};
    // Our own queue, so that neither Qt's handlers nor its event thread see our objects,
    // and the round trips below dispatch nothing of Qt's.
    wl_event_queue* Queue = wl_display_create_queue(Display);
    auto* Wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(Display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(Wrapper), Queue);
    TLookup Lookup;
    wl_registry* Registry = wl_display_get_registry(Wrapper);
    wl_proxy_wrapper_destroy(Wrapper);
    wl_registry_add_listener(Registry, &RegistryListener, &Lookup);
    // The globals, then the event the compositor sends on binding.
    if (wl_display_roundtrip_queue(Display, Queue) >= 0 && Lookup.PrimaryOutput)
        wl_display_roundtrip_queue(Display, Queue);
    if (Lookup.PrimaryOutput)
        wl_proxy_destroy(Lookup.PrimaryOutput);
    wl_registry_destroy(Registry);
    wl_event_queue_destroy(Queue);
    return Lookup.Name;
}
