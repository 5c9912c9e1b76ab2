#include "platform/wayland/WaylandDisplay.h"

#include "platform/Errors.h"

#include <wayland-client.h>

#include <cerrno>
#include <cstdlib>
#include <poll.h>
#include <string>

namespace {
std::string DisplayName() {
    const char* Name = std::getenv("WAYLAND_DISPLAY");
    return Name && *Name ? Name : "wayland-0";
}

void Done(void* Data, wl_callback*, std::uint32_t) {
    *static_cast<bool*>(Data) = true;
}
const wl_callback_listener DoneListener{Done};
} // namespace

bool TWaylandDisplay::Session() {
    const char* Name = std::getenv("WAYLAND_DISPLAY");
    return Name && *Name;
}

TWaylandDisplay::TWaylandDisplay() {
    FDisplay = wl_display_connect(nullptr);
    if (!FDisplay)
        throw EYstreloError("cannot connect to the Wayland compositor " + DisplayName());
    // A sync request answered is a compositor at work; wait for it with a deadline, as
    // wl_display_roundtrip would wait for ever.
    bool Answered = false;
    wl_callback* Sync = wl_display_sync(FDisplay);
    wl_callback_add_listener(Sync, &DoneListener, &Answered);
    const auto Deadline = std::chrono::steady_clock::now() + AnswerWithin;
    while (!Answered) {
        if (wl_display_flush(FDisplay) < 0 && errno != EAGAIN)
            break;
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
            Deadline - std::chrono::steady_clock::now());
        pollfd Wait{wl_display_get_fd(FDisplay), POLLIN, 0};
        const int Ready = Left.count() > 0 ? poll(&Wait, 1, static_cast<int>(Left.count())) : 0;
        if (Ready < 0 && errno == EINTR)
            continue;
        // Readable: the read below does not block.
        if (Ready <= 0 || wl_display_dispatch(FDisplay) < 0)
            break;
    }
    wl_callback_destroy(Sync);
    if (!Answered) {
        wl_display_disconnect(FDisplay);
        FDisplay = nullptr;
        throw EYstreloError("the Wayland compositor " + DisplayName() + " does not answer");
    }
}

TWaylandDisplay::~TWaylandDisplay() {
    if (FDisplay)
        wl_display_disconnect(FDisplay);
}
