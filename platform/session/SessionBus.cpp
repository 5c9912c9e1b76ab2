#include "platform/session/SessionBus.h"

#include <cstdlib>

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
