#include "platform/session/SessionBus.h"

#include <cstdlib>
#include <string_view>

namespace {
constexpr const char* BusVariable = "DBUS_SESSION_BUS_ADDRESS";
// An address libdbus cannot use and does not replace with a bus of its own.
constexpr const char* NoBus = "disabled:";
} // namespace

void NoSessionBusOfOurOwn() {
    const char* Address = std::getenv(BusVariable);
    if (!Address || !*Address)
        setenv(BusVariable, NoBus, 1);
}

bool SessionBusGiven() {
    const char* Address = std::getenv(BusVariable);
    return Address && *Address && std::string_view(Address) != NoBus;
}
