#include "platform/wayland/WaylandNative.h"

#include "platform/wayland/WaylandPlatform.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QWindow>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
#if QT_CONFIG(wayland)
#define YSTRELO_PUBLIC_WAYLAND_DISPLAY 1
#endif
#endif

namespace {
// The look-ups of the native interface of Qt's Wayland platform are exported from Qt's
// Wayland client library, which the platform plugin has loaded; they are called as the
// member functions they are, on the interface Qt gives the application.
using TWindowLookup = void* (*)(void* Interface, const QByteArray& Resource, QWindow* Window);
constexpr const char* WaylandClientLibrary = "libQt6WaylandClient.so.6";
constexpr const char* WindowSymbol = "_ZN15QtWaylandClient23QWaylandNativeInterface23nativeResource"
                                     "ForWindowERK10QByteArrayP7QWindow";
#ifndef YSTRELO_PUBLIC_WAYLAND_DISPLAY
using TIntegrationLookup = void* (*)(void* Interface, const QByteArray& Resource);
constexpr const char* IntegrationSymbol =
    "_ZN15QtWaylandClient23QWaylandNativeInterface28nativeResourceForIntegrationERK10QByteArray";
#endif
constexpr const char* PrivatePath = "private QWaylandNativeInterface look-up";

struct TLookups {
    TWindowLookup Window = nullptr;
#ifndef YSTRELO_PUBLIC_WAYLAND_DISPLAY
    TIntegrationLookup Integration = nullptr;
#endif
};

// Resolved once Qt runs on Wayland: its Wayland library is loaded by then and stays.
const TLookups& Lookups() {
    static const TLookups Found = [] {
        TLookups Result;
        void* Library = dlopen(WaylandClientLibrary, RTLD_NOW | RTLD_NOLOAD);
        if (!Library)
            return Result;
        Result.Window = reinterpret_cast<TWindowLookup>(dlsym(Library, WindowSymbol));
#ifndef YSTRELO_PUBLIC_WAYLAND_DISPLAY
        Result.Integration =
            reinterpret_cast<TIntegrationLookup>(dlsym(Library, IntegrationSymbol));
#endif
        // Qt's platform plugin holds the library as well.
        dlclose(Library);
        return Result;
    }();
    return Found;
}

wl_display* FindDisplay() {
    if (!TWaylandPlatform::Active())
        return nullptr;
#ifdef YSTRELO_PUBLIC_WAYLAND_DISPLAY
    const auto* Application = qGuiApp->nativeInterface<QNativeInterface::QWaylandApplication>();
    return Application ? Application->display() : nullptr;
#else
    void* Interface = QGuiApplication::platformNativeInterface();
    if (!Lookups().Integration || !Interface)
        return nullptr;
    return static_cast<wl_display*>(Lookups().Integration(Interface, "wl_display"));
#endif
}

void ReportOnce() {
    static const bool Reported = [] {
        const char* Value = std::getenv(TWaylandNative::ReportVariable);
        if (!Value || !*Value)
            return false;
        std::fprintf(stderr,
                     "%sQt %s (built against " QT_VERSION_STR
                     "); display through %s; window surfaces through %s\n",
                     TWaylandNative::ReportPrefix, qVersion(), TWaylandNative::DisplayPath(),
                     PrivatePath);
        return true;
    }();
    static_cast<void>(Reported);
}
} // namespace

wl_display* TWaylandNative::Display() {
    wl_display* Result = FindDisplay();
    if (Result)
        ReportOnce();
    return Result;
}

wl_surface* TWaylandNative::Surface(QWindow* Window) {
    // Qt 6.8 has a window interface of its own (QNativeInterface::Private::QWaylandWindow),
    // but it too is private: its header is not installed with the public ones.
    if (!Window || !Window->handle() || !TWaylandPlatform::Active())
        return nullptr;
    void* Interface = QGuiApplication::platformNativeInterface();
    if (!Lookups().Window || !Interface)
        return nullptr;
    return static_cast<wl_surface*>(Lookups().Window(Interface, "surface", Window));
}

const char* TWaylandNative::DisplayPath() {
#ifdef YSTRELO_PUBLIC_WAYLAND_DISPLAY
    return "QNativeInterface::QWaylandApplication";
#else
    return PrivatePath;
#endif
}
