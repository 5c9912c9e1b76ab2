#include "platform/wayland/KdeOutputOrder.h"

#include "platform/wayland/WaylandGlobal.h"

#include <wayland-client.h>

#include <optional>
#include <utility>

namespace {
// kde_output_order_v1 as its protocol file describes it, version 1: the events "output"
// (a name) and "done" (the list is complete), and the request "destroy". Written out here
// rather than generated, as it is this small and Debian 12 ships only its XML.
const wl_interface* NoTypes[] = {nullptr};
const wl_message OrderRequests[] = {{"destroy", "", NoTypes}};
const wl_message OrderEvents[] = {{"output", "s", NoTypes}, {"done", "", NoTypes}};
const wl_interface OrderInterface = {"kde_output_order_v1", 1, 1, OrderRequests, 2, OrderEvents};
constexpr std::uint32_t OrderDestroy = 0;
// The compositor sends the list as the global is bound: the first round trip brings it.
// One more spares a compositor that is slow about it.
constexpr int RoundTrips = 2;

struct TList {
    std::vector<std::string> Coming;
    // The last complete list; the next name begins a new one.
    std::optional<std::vector<std::string>> Done;
};

void Output(void* Data, wl_proxy*, const char* Name) {
    static_cast<TList*>(Data)->Coming.emplace_back(Name ? Name : "");
}
void ListDone(void* Data, wl_proxy*) {
    auto* List = static_cast<TList*>(Data);
    List->Done = std::exchange(List->Coming, {});
}
// A listener is a table of the interface's event handlers, in the order of its events.
struct TOrderListener {
    void (*Output)(void*, wl_proxy*, const char*);
    void (*Done)(void*, wl_proxy*);
};
const TOrderListener OrderListener = {Output, ListDone};
} // namespace

std::vector<std::string> TKdeOutputOrder::Names() {
    TWaylandGlobal Order(OrderInterface, 1, OrderDestroy);
    if (!Order.Proxy())
        return {};
    TList List;
    wl_proxy_add_listener(
        Order.Proxy(),
        reinterpret_cast<void (**)(void)>(const_cast<TOrderListener*>(&OrderListener)), &List);
    for (int Trip = 0; Trip < RoundTrips && !List.Done; ++Trip)
        if (!Order.RoundTrip())
            break;
    return List.Done.value_or(std::vector<std::string>{});
}
