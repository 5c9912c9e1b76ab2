#include "platform/wayland/WaylandSharedView.h"

#include "platform/Errors.h"
#include "platform/wayland/WaylandNative.h"
#include "platform/wayland/WaylandOutputs.h"
#include "platform/wayland/WaylandPlatform.h"

#include <QWidget>
#include <QWindow>

#include <wayland-client.h>

#include <cmath>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {
// A memfd of Size bytes, mapped; unmapped and closed with its last owner.
struct TSharedFile {
    int Fd = -1;
    void* Address = MAP_FAILED;
    std::size_t Size = 0;
    explicit TSharedFile(std::size_t ASize) : Size(ASize) {
        Fd = memfd_create("ystrelo-surface", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (Fd < 0 || ftruncate(Fd, static_cast<off_t>(Size)) != 0)
            throw EYstreloError("no memory to share with the compositor");
        Address = mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_SHARED, Fd, 0);
        if (Address == MAP_FAILED)
            throw EYstreloError("no memory to share with the compositor");
    }
    ~TSharedFile() {
        if (Address != MAP_FAILED)
            munmap(Address, Size);
        if (Fd >= 0)
            close(Fd);
    }
    TSharedFile(const TSharedFile&) = delete;
    TSharedFile& operator=(const TSharedFile&) = delete;
};
// A whole number near Value, or 0.
int Whole(qreal Value) {
    const qreal Rounded = std::round(Value);
    return Rounded >= 1 && qFuzzyCompare(Value, Rounded) ? static_cast<int>(Rounded) : 0;
}
} // namespace

void TWaylandSharedView::Global(void* Data, wl_registry* Registry, std::uint32_t Name,
                                const char* Interface, std::uint32_t Version) {
    auto* View = static_cast<TWaylandSharedView*>(Data);
    if (std::strcmp(Interface, wl_compositor_interface.name) == 0 && !View->FCompositor)
        View->FCompositor = static_cast<wl_compositor*>(
            wl_registry_bind(Registry, Name, &wl_compositor_interface, std::min(Version, 4u)));
    else if (std::strcmp(Interface, wl_subcompositor_interface.name) == 0 && !View->FSubcompositor)
        View->FSubcompositor = static_cast<wl_subcompositor*>(
            wl_registry_bind(Registry, Name, &wl_subcompositor_interface, 1));
    else if (std::strcmp(Interface, wl_shm_interface.name) == 0 && !View->FShm)
        View->FShm = static_cast<wl_shm*>(wl_registry_bind(Registry, Name, &wl_shm_interface, 1));
}

void TWaylandSharedView::Remeasure() {
    if (const int Native = TWaylandOutputs::Scale(FWindow); Native >= 1)
        FNative = Native;
}

void TWaylandSharedView::FrameDone(void* Data, wl_callback* Callback, std::uint32_t) {
    auto* View = static_cast<TWaylandSharedView*>(Data);
    wl_callback_destroy(Callback);
    if (View->FFrame == Callback)
        View->FFrame = nullptr;
}

std::unique_ptr<TWaylandSharedView> TWaylandSharedView::Create(QWidget* Widget) {
    if (!TWaylandPlatform::Active() || !Widget->window()->windowHandle())
        return nullptr;
    wl_display* Display = TWaylandNative::Display();
    wl_surface* Parent = TWaylandNative::Surface(Widget->window()->windowHandle());
    if (!Display || !Parent)
        return nullptr;
    std::unique_ptr<TWaylandSharedView> View(new TWaylandSharedView);
    View->FWindow = Widget->window()->windowHandle();
    View->FParent = Parent;
    View->FDisplay = Display;
    // Our objects' events go to a queue of our own, which only we dispatch: Qt's event
    // handling never sees them, and we never run Qt's handlers.
    View->FQueue = wl_display_create_queue(Display);
    View->FWrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(Display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(View->FWrapper), View->FQueue);
    View->FRegistry = wl_display_get_registry(View->FWrapper);
    static const wl_registry_listener Listener{&TWaylandSharedView::Global,
                                               &TWaylandSharedView::GlobalRemove};
    wl_registry_add_listener(View->FRegistry, &Listener, View.get());
    if (wl_display_roundtrip_queue(Display, View->FQueue) < 0 || !View->FCompositor ||
        !View->FSubcompositor || !View->FShm)
        return nullptr;
    // A buffer scale is a whole number, and so must Qt's factor be for the widget to lie
    // on whole surface coordinates; anything else (a fractional QT_SCALE_FACTOR) is Qt's
    // to paint.
    View->FNative = TWaylandOutputs::Scale(View->FWindow);
    View->FFactor = View->FNative >= 1 ? Whole(Widget->devicePixelRatioF() / View->FNative) : 0;
    if (View->FFactor < 1)
        return nullptr;
    View->FScale = View->FNative;
    View->FSurface = wl_compositor_create_surface(View->FCompositor);
    View->FSubsurface =
        wl_subcompositor_get_subsurface(View->FSubcompositor, View->FSurface, Parent);
    wl_region* NoInput = wl_compositor_create_region(View->FCompositor);
    wl_surface_set_input_region(View->FSurface, NoInput);
    wl_region_destroy(NoInput);
    // The surface has the widget's size in device pixels: the buffer's scale.
    wl_surface_set_buffer_scale(View->FSurface, View->FScale);
    const QPoint At = Widget->mapTo(Widget->window(), QPoint(0, 0));
    View->Place(At.x(), At.y());
    wl_display_flush(Display);
    return View;
}

TWaylandSharedView::~TWaylandSharedView() {
    if (FFrame)
        wl_callback_destroy(FFrame);
    if (FBuffer)
        wl_buffer_destroy(FBuffer);
    if (FSubsurface)
        wl_subsurface_destroy(FSubsurface);
    if (FSurface)
        wl_surface_destroy(FSurface);
    if (FShm)
        wl_shm_destroy(FShm);
    if (FSubcompositor)
        wl_subcompositor_destroy(FSubcompositor);
    if (FCompositor)
        wl_compositor_destroy(FCompositor);
    if (FRegistry)
        wl_registry_destroy(FRegistry);
    if (FWrapper)
        wl_proxy_wrapper_destroy(FWrapper);
    if (FDisplay)
        wl_display_flush(FDisplay);
    if (FQueue)
        wl_event_queue_destroy(FQueue);
}

bool TWaylandSharedView::Current() const {
    return FWindow && TWaylandNative::Surface(FWindow) == FParent;
}

void TWaylandSharedView::Place(int X, int Y) {
    if (FPlaced && FX == X && FY == Y)
        return;
    // Takes effect with the next commit of Qt's window, which the next refresh makes.
    wl_subsurface_set_position(FSubsurface, X * FFactor, Y * FFactor);
    FPlaced = true;
    FX = X;
    FY = Y;
    FDamaged = true;
}

TSurfaceWindow::TFactory TWaylandSharedView::Factory() {
    return [this](int Width, int Height, TColour Background) {
        return MakeSurface(Width, Height, Background);
    };
}

std::shared_ptr<TSurface> TWaylandSharedView::MakeSurface(int Width, int Height,
                                                          TColour Background) {
    const std::size_t Size =
        std::max<std::size_t>(TSurface::MemorySize(Width, Height), sizeof(TSurface::TPixel));
    auto File = std::make_shared<TSharedFile>(Size);
    auto Surface = std::make_shared<TSurface>(
        Width, Height, Background,
        TSurface::TMemory{static_cast<TSurface::TPixel*>(File->Address), File});
    if (FBuffer)
        wl_buffer_destroy(FBuffer);
    FBuffer = nullptr;
    FShown = Surface.get();
    FAttached = false;
    if (Width > 0 && Height > 0) {
        // The surface's words are 0xFFRRGGBB in our byte order: the compositor's XRGB.
        wl_shm_pool* Pool = wl_shm_create_pool(FShm, File->Fd, static_cast<std::int32_t>(Size));
        FBuffer =
            wl_shm_pool_create_buffer(Pool, 0, Width, Height, Width * 4, WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(Pool);
        // Shown whole once, so no stale area remains.
        FDamaged = true;
    }
    return Surface;
}

bool TWaylandSharedView::Ready() {
    wl_display_dispatch_queue_pending(FDisplay, FQueue);
    return !FFrame;
}

void TWaylandSharedView::Put(const TSurface& Surface, const TSurface::TRect& Rect) {
    if (&Surface != FShown || !FBuffer)
        return;
    wl_surface_damage_buffer(FSurface, Rect.Left, Rect.Top, Rect.Width, Rect.Height);
    FDamaged = true;
}

void TWaylandSharedView::Flush() {
    const int Scale = FNative;
    // A buffer scale must divide the buffer's size; until the surface follows the new
    // ratio, the last picture stays.
    if ((!FDamaged && Scale == FScale) || !FBuffer || FFrame || !Current() || Scale < 1 ||
        FShown->Width() % Scale != 0 || FShown->Height() % Scale != 0)
        return;
    if (Scale != FScale) {
        // The output's scale changed: the same pixels cover another area.
        wl_surface_set_buffer_scale(FSurface, Scale);
        FScale = Scale;
        FAttached = false;
    }
    if (!FAttached) {
        wl_surface_damage_buffer(FSurface, 0, 0, FShown->Width(), FShown->Height());
        FAttached = true;
    }
    // The same buffer again: the compositor reads it anew wherever it was damaged.
    wl_surface_attach(FSurface, FBuffer, 0, 0);
    wl_region* Opaque = wl_compositor_create_region(FCompositor);
    wl_region_add(Opaque, 0, 0, FShown->Width() / FScale, FShown->Height() / FScale);
    wl_surface_set_opaque_region(FSurface, Opaque);
    wl_region_destroy(Opaque);
    static const wl_callback_listener Listener{&TWaylandSharedView::FrameDone};
    FFrame = wl_surface_frame(FSurface);
    wl_callback_add_listener(FFrame, &Listener, this);
    wl_surface_commit(FSurface);
    // Applies ours (a synchronised sub-surface) with whatever Qt left pending: all of Qt's
    // requests on its window are made on this (the GUI) thread, each set complete.
    wl_surface_commit(FParent);
    wl_display_flush(FDisplay);
    FDamaged = false;
}
