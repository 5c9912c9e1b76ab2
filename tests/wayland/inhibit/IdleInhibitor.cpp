// wayland-inhibitor: a window that holds the desktop awake, as a video player does while it
// plays. It maps a small window with an idle inhibitor on its surface and lives until
// killed; the compositor honours the inhibitor only while the window is mapped and shown.
#include "idle-inhibit-client-protocol.h"

#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {
constexpr int Side = 64;
constexpr std::uint32_t Grey = 0xFF808080;

wl_compositor* Compositor = nullptr;
wl_shm* Shm = nullptr;
xdg_wm_base* Shell = nullptr;
zwp_idle_inhibit_manager_v1* Inhibitors = nullptr;
bool Configured = false;

void Global(void*, wl_registry* Registry, std::uint32_t Name, const char* Interface,
            std::uint32_t) {
    const auto Bind = [&](const wl_interface& Wanted) {
        return std::strcmp(Interface, Wanted.name) == 0
                   ? wl_registry_bind(Registry, Name, &Wanted, 1)
                   : nullptr;
    };
    if (void* P = Bind(wl_compositor_interface))
        Compositor = static_cast<wl_compositor*>(P);
    else if (void* P = Bind(wl_shm_interface))
        Shm = static_cast<wl_shm*>(P);
    else if (void* P = Bind(xdg_wm_base_interface))
        Shell = static_cast<xdg_wm_base*>(P);
    else if (void* P = Bind(zwp_idle_inhibit_manager_v1_interface))
        Inhibitors = static_cast<zwp_idle_inhibit_manager_v1*>(P);
}
void GlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener RegistryListener{Global, GlobalRemove};

// A window that does not answer pings is taken for hung.
void Ping(void*, xdg_wm_base* Base, std::uint32_t Serial) {
    xdg_wm_base_pong(Base, Serial);
}
const xdg_wm_base_listener ShellListener{Ping};

void Configure(void*, xdg_surface* Surface, std::uint32_t Serial) {
    xdg_surface_ack_configure(Surface, Serial);
    Configured = true;
}
const xdg_surface_listener SurfaceListener{Configure};

void ToplevelConfigure(void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array*) {}
void Close(void*, xdg_toplevel*) {}
const xdg_toplevel_listener ToplevelListener{ToplevelConfigure, Close};

wl_buffer* GreyBuffer() {
    const int Size = Side * Side * 4;
    const int Fd = memfd_create("inhibitor", MFD_CLOEXEC);
    if (Fd < 0 || ftruncate(Fd, Size) != 0)
        return nullptr;
    void* Pixels = mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_SHARED, Fd, 0);
    if (Pixels == MAP_FAILED)
        return nullptr;
    for (int I = 0; I < Side * Side; ++I)
        static_cast<std::uint32_t*>(Pixels)[I] = Grey;
    munmap(Pixels, Size);
    wl_shm_pool* Pool = wl_shm_create_pool(Shm, Fd, Size);
    wl_buffer* Buffer =
        wl_shm_pool_create_buffer(Pool, 0, Side, Side, Side * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(Pool);
    close(Fd);
    return Buffer;
}
} // namespace

int main() {
    wl_display* Display = wl_display_connect(nullptr);
    if (!Display) {
        std::fprintf(stderr, "wayland-inhibitor: no compositor\n");
        return 1;
    }
    wl_registry* Registry = wl_display_get_registry(Display);
    wl_registry_add_listener(Registry, &RegistryListener, nullptr);
    wl_display_roundtrip(Display);
    if (!Compositor || !Shm || !Shell || !Inhibitors) {
        std::fprintf(stderr, "wayland-inhibitor: the compositor has no idle inhibitors\n");
        return 1;
    }
    xdg_wm_base_add_listener(Shell, &ShellListener, nullptr);
    wl_surface* Surface = wl_compositor_create_surface(Compositor);
    xdg_surface* Window = xdg_wm_base_get_xdg_surface(Shell, Surface);
    xdg_surface_add_listener(Window, &SurfaceListener, nullptr);
    xdg_toplevel* Toplevel = xdg_surface_get_toplevel(Window);
    xdg_toplevel_add_listener(Toplevel, &ToplevelListener, nullptr);
    xdg_toplevel_set_title(Toplevel, "inhibitor");
    zwp_idle_inhibit_manager_v1_create_inhibitor(Inhibitors, Surface);
    // The first commit has no buffer: the compositor answers with the configure that a
    // buffer may follow only once acknowledged.
    wl_surface_commit(Surface);
    while (!Configured)
        if (wl_display_dispatch(Display) < 0)
            return 1;
    wl_buffer* Buffer = GreyBuffer();
    if (!Buffer)
        return 1;
    wl_surface_attach(Surface, Buffer, 0, 0);
    wl_surface_damage(Surface, 0, 0, Side, Side);
    wl_surface_commit(Surface);
    while (wl_display_dispatch(Display) >= 0) {
    }
    return 0;
}
