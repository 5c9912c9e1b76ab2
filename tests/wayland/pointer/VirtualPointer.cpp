// wayland-pointer: a pointer device of the test's own on a compositor without input
// devices: wlroots' virtual pointer, or KWin's fake input (which KWin offers only to
// programs a desktop file grants it to, tests/wayland/KWin.cpp). It lives until killed,
// so the seat keeps its pointer, and takes one command a line from the FIFO named on its
// command line:
//
//   abs X Y W H   put the pointer at (X, Y) of the whole layout, W x H large
//   rel DX DY     move it by (DX, DY)
//
// After each command it waits until the compositor has handled it, then appends "ok" to
// the FIFO's companion file FIFO.done, so a test knows the motion was delivered.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <time.h>
#include <unistd.h>

namespace {
// org_kde_kwin_fake_input as its protocol file (plasma-wayland-protocols) describes it, up
// to the absolute motion of version 3; its requests in the file's order give the opcodes.
const wl_interface* NoTypes[] = {nullptr, nullptr, nullptr};
const wl_message FakeInputRequests[] = {
    {"authenticate", "ss", NoTypes}, {"pointer_motion", "ff", NoTypes},
    {"button", "uu", NoTypes},       {"axis", "uf", NoTypes},
    {"touch_down", "2uff", NoTypes}, {"touch_motion", "2uff", NoTypes},
    {"touch_up", "2u", NoTypes},     {"touch_cancel", "2", NoTypes},
    {"touch_frame", "2", NoTypes},   {"pointer_motion_absolute", "3ff", NoTypes}};
const wl_interface FakeInputInterface = {"org_kde_kwin_fake_input", 3, 10,
                                         FakeInputRequests,         0, nullptr};
constexpr std::uint32_t Authenticate = 0, PointerMotion = 1, PointerMotionAbsolute = 9;

wl_seat* Seat = nullptr;
zwlr_virtual_pointer_manager_v1* Manager = nullptr;
wl_proxy* FakeInput = nullptr;

void Global(void*, wl_registry* Registry, std::uint32_t Name, const char* Interface,
            std::uint32_t Version) {
    if (std::strcmp(Interface, wl_seat_interface.name) == 0 && !Seat)
        Seat = static_cast<wl_seat*>(wl_registry_bind(Registry, Name, &wl_seat_interface, 1));
    else if (std::strcmp(Interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        Manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(Registry, Name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(Interface, FakeInputInterface.name) == 0 && Version >= 3)
        FakeInput =
            static_cast<wl_proxy*>(wl_registry_bind(Registry, Name, &FakeInputInterface, 3));
}

void Send(wl_proxy* Proxy, std::uint32_t Opcode, wl_fixed_t A, wl_fixed_t B) {
    wl_proxy_marshal_flags(Proxy, Opcode, nullptr, wl_proxy_get_version(Proxy), 0, A, B);
}
void GlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener RegistryListener{Global, GlobalRemove};

std::uint32_t Now() {
    timespec T{};
    clock_gettime(CLOCK_MONOTONIC, &T);
    return static_cast<std::uint32_t>(T.tv_sec * 1000 + T.tv_nsec / 1000000);
}
} // namespace

int main(int Argc, char** Argv) {
    if (Argc != 2) {
        std::fprintf(stderr, "usage: wayland-pointer FIFO\n");
        return 2;
    }
    wl_display* Display = wl_display_connect(nullptr);
    if (!Display) {
        std::fprintf(stderr, "wayland-pointer: no compositor\n");
        return 1;
    }
    wl_registry* Registry = wl_display_get_registry(Display);
    wl_registry_add_listener(Registry, &RegistryListener, nullptr);
    wl_display_roundtrip(Display);
    if (!Manager && !FakeInput) {
        std::fprintf(stderr, "wayland-pointer: the compositor has no virtual pointers\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* Pointer =
        Manager ? zwlr_virtual_pointer_manager_v1_create_virtual_pointer(Manager, Seat) : nullptr;
    if (FakeInput)
        wl_proxy_marshal_flags(FakeInput, Authenticate, nullptr, wl_proxy_get_version(FakeInput), 0,
                               "wayland-pointer", "the test's pointer");
    wl_display_roundtrip(Display);
    // Read and write: the FIFO never reads as ended while no test has it open.
    FILE* Commands = std::fopen(Argv[1], "r+");
    if (!Commands)
        return 1;
    const std::string Done = std::string(Argv[1]) + ".done";
    char Line[256];
    while (std::fgets(Line, sizeof Line, Commands)) {
        unsigned X, Y, W, H;
        int DX, DY;
        if (std::sscanf(Line, "abs %u %u %u %u", &X, &Y, &W, &H) == 4) {
            if (Pointer)
                zwlr_virtual_pointer_v1_motion_absolute(Pointer, Now(), X, Y, W, H);
            else // KWin takes the layout's own coordinates
                Send(FakeInput, PointerMotionAbsolute, wl_fixed_from_int(static_cast<int>(X)),
                     wl_fixed_from_int(static_cast<int>(Y)));
        } else if (std::sscanf(Line, "rel %d %d", &DX, &DY) == 2) {
            if (Pointer)
                zwlr_virtual_pointer_v1_motion(Pointer, Now(), wl_fixed_from_int(DX),
                                               wl_fixed_from_int(DY));
            else
                Send(FakeInput, PointerMotion, wl_fixed_from_int(DX), wl_fixed_from_int(DY));
        } else {
            continue;
        }
        if (Pointer)
            zwlr_virtual_pointer_v1_frame(Pointer);
        if (wl_display_roundtrip(Display) < 0)
            return 1;
        if (FILE* Out = std::fopen(Done.c_str(), "a")) {
            std::fputs("ok\n", Out);
            std::fclose(Out);
        }
    }
    return 0;
}
