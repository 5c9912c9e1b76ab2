#include "platform/wayland/KdePrimaryOutput.h"

#include "platform/wayland/WaylandGlobal.h"

#include <wayland-client.h>

namespace {
// kde_primary_output_v1 as its protocol file describes it, version 1: one event, and no
// request (the destructor arrived in version 2). Written out here rather than generated,
// as it is this small.
const wl_interface* NoTypes[] = {nullptr};
const wl_message PrimaryOutputEvents[] = {{"primary_output", "s", NoTypes}};
const wl_interface PrimaryOutputInterface = {"kde_primary_output_v1", 1, 0, nullptr, 1,
                                             PrimaryOutputEvents};

void PrimaryOutput(void* Data, wl_proxy*, const char* Name) {
    *static_cast<std::string*>(Data) = Name ? Name : "";
}
// A listener is a table of the interface's event handlers, in the order of its events.
struct TPrimaryOutputListener {
    void (*PrimaryOutput)(void*, wl_proxy*, const char*);
};
const TPrimaryOutputListener PrimaryOutputListener = {PrimaryOutput};
} // namespace

std::vector<std::string> TKdePrimaryOutput::Names() {
    TWaylandGlobal Primary(PrimaryOutputInterface, 1, std::nullopt);
    if (!Primary.Proxy())
        return {};
    std::string Name;
    wl_proxy_add_listener(Primary.Proxy(),
                          reinterpret_cast<void (**)(void)>(
                              const_cast<TPrimaryOutputListener*>(&PrimaryOutputListener)),
                          &Name);
    // The compositor sends the name as the global is bound.
    Primary.RoundTrip();
    if (Name.empty())
        return {};
    return {Name};
}
