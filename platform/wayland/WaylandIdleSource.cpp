#include "platform/wayland/WaylandIdleSource.h"

#include "platform/Errors.h"
#include "platform/qt/QtMessages.h"
#include "platform/wayland/WaylandDisplay.h"

#include <QSocketNotifier>

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {
// The two protocols as their protocol files describe them, written out here rather than
// generated: they are this small, and Debian 12 ships no file for KDE's. Requests and
// events keep their files' order, which gives their opcodes; only version 1 of each is
// used (ext-idle-notify-v1's version 2 adds a countdown that ignores inhibitors).
const wl_interface* NoTypes[] = {nullptr};

extern const wl_interface ExtNotificationInterface;
const wl_interface* GetIdleNotificationTypes[] = {&ExtNotificationInterface, nullptr,
                                                  &wl_seat_interface};
const wl_message ExtNotifierRequests[] = {
    {"destroy", "", NoTypes}, {"get_idle_notification", "nuo", GetIdleNotificationTypes}};
const wl_interface ExtNotifierInterface = {"ext_idle_notifier_v1", 1, 2,
                                           ExtNotifierRequests,    0, nullptr};
const wl_message ExtNotificationRequests[] = {{"destroy", "", NoTypes}};
const wl_message ExtNotificationEvents[] = {{"idled", "", NoTypes}, {"resumed", "", NoTypes}};
const wl_interface ExtNotificationInterface = {
    "ext_idle_notification_v1", 1, 1, ExtNotificationRequests, 2, ExtNotificationEvents};
constexpr std::uint32_t ExtNotifierDestroy = 0, ExtGetIdleNotification = 1;
constexpr std::uint32_t ExtNotificationDestroy = 0;

extern const wl_interface KdeTimeoutInterface;
const wl_interface* GetIdleTimeoutTypes[] = {&KdeTimeoutInterface, &wl_seat_interface, nullptr};
const wl_message KdeIdleRequests[] = {{"get_idle_timeout", "nou", GetIdleTimeoutTypes}};
const wl_interface KdeIdleInterface = {"org_kde_kwin_idle", 1, 1, KdeIdleRequests, 0, nullptr};
const wl_message KdeTimeoutRequests[] = {{"release", "", NoTypes},
                                         {"simulate_user_activity", "", NoTypes}};
const wl_message KdeTimeoutEvents[] = {{"idle", "", NoTypes}, {"resumed", "", NoTypes}};
const wl_interface KdeTimeoutInterface = {"org_kde_kwin_idle_timeout", 1, 2,
                                          KdeTimeoutRequests,          2, KdeTimeoutEvents};
constexpr std::uint32_t KdeGetIdleTimeout = 0;
constexpr std::uint32_t KdeTimeoutRelease = 0;

// Both countdowns have the same two events: idle, then input again.
struct TCountdownListener {
    void (*Idle)(void*, wl_proxy*);
    void (*Resumed)(void*, wl_proxy*);
};

// The globals we may bind, by their registry names.
struct TGlobals {
    std::uint32_t Ext = 0, Kde = 0, Seat = 0;
};

void Global(void* Data, wl_registry*, std::uint32_t Name, const char* Interface, std::uint32_t) {
    auto* Globals = static_cast<TGlobals*>(Data);
    if (std::strcmp(Interface, ExtNotifierInterface.name) == 0)
        Globals->Ext = Name;
    else if (std::strcmp(Interface, KdeIdleInterface.name) == 0)
        Globals->Kde = Name;
    // The first seat: a desktop session has one, and the protocols count input per seat.
    else if (std::strcmp(Interface, wl_seat_interface.name) == 0 && !Globals->Seat)
        Globals->Seat = Name;
}
void GlobalRemoved(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener RegistryListener = {Global, GlobalRemoved};

wl_proxy* Bind(wl_registry* Registry, std::uint32_t Name, const wl_interface& Interface) {
    return static_cast<wl_proxy*>(wl_registry_bind(Registry, Name, &Interface, 1));
}

void Destroy(wl_proxy* Proxy, std::uint32_t Destructor) {
    wl_proxy_marshal_flags(Proxy, Destructor, nullptr, wl_proxy_get_version(Proxy),
                           WL_MARSHAL_FLAG_DESTROY);
}
} // namespace

TWaylandIdleSource::TWaylandIdleSource() = default;

std::unique_ptr<TIdleSource> TWaylandIdleSource::Open() {
    if (!TWaylandDisplay::Session())
        return nullptr;
    std::unique_ptr<TWaylandIdleSource> Source(new TWaylandIdleSource);
    // A connection of our own: the watcher has no window, and Qt's would be a second
    // client for nothing.
    Source->FDisplay = std::make_unique<TWaylandDisplay>();
    wl_display* Display = Source->FDisplay->Display();
    TGlobals Globals;
    wl_registry* Registry = wl_display_get_registry(Display);
    wl_registry_add_listener(Registry, &RegistryListener, &Globals);
    // The compositor answered a moment ago, in TWaylandDisplay.
    if (wl_display_roundtrip(Display) < 0) {
        wl_registry_destroy(Registry);
        throw EYstreloError(LostCompositorMessage);
    }
    // ext-idle-notify is the protocol compositors keep; KDE's is the one they drop.
    if (Globals.Seat && (Globals.Ext || Globals.Kde)) {
        Source->FKde = !Globals.Ext;
        Source->FNotifier = Source->FKde ? Bind(Registry, Globals.Kde, KdeIdleInterface)
                                         : Bind(Registry, Globals.Ext, ExtNotifierInterface);
        Source->FSeat = Bind(Registry, Globals.Seat, wl_seat_interface);
    }
    wl_registry_destroy(Registry);
    if (!Source->FNotifier)
        return nullptr;
    return Source;
}

TWaylandIdleSource::~TWaylandIdleSource() {
    FRead.reset();
    FWrite.reset();
    if (FNotification)
        Destroy(FNotification, FKde ? KdeTimeoutRelease : ExtNotificationDestroy);
    if (FNotifier) {
        // KDE's manager has no destructor request.
        if (FKde)
            wl_proxy_destroy(FNotifier);
        else
            Destroy(FNotifier, ExtNotifierDestroy);
    }
    // Version 1 of the seat has no release request.
    if (FSeat)
        wl_proxy_destroy(FSeat);
    if (FDisplay && !FLost)
        wl_display_flush(FDisplay->Display());
}

std::string TWaylandIdleSource::Name() const {
    return FKde ? "org_kde_kwin_idle" : "ext-idle-notify-v1";
}

void TWaylandIdleSource::Watch(std::chrono::milliseconds Duration, THandlers Handlers) {
    FHandlers = std::move(Handlers);
    const auto Timeout = static_cast<std::uint32_t>(std::clamp<std::chrono::milliseconds::rep>(
        Duration.count(), 0, std::numeric_limits<std::uint32_t>::max()));
    // The countdown starts when the compositor reads the request, so it is sent at once
    // (Flush below) rather than with whatever comes next.
    FNotification =
        FKde ? wl_proxy_marshal_flags(FNotifier, KdeGetIdleTimeout, &KdeTimeoutInterface,
                                      wl_proxy_get_version(FNotifier), 0, nullptr, FSeat, Timeout)
             : wl_proxy_marshal_flags(FNotifier, ExtGetIdleNotification, &ExtNotificationInterface,
                                      wl_proxy_get_version(FNotifier), 0, nullptr, Timeout, FSeat);
    static const TCountdownListener Listener = {Idled, Resumed};
    wl_proxy_add_listener(
        FNotification,
        reinterpret_cast<void (**)(void)>(const_cast<TCountdownListener*>(&Listener)), this);
    const int Fd = wl_display_get_fd(FDisplay->Display());
    FRead = std::make_unique<QSocketNotifier>(Fd, QSocketNotifier::Read);
    QObject::connect(FRead.get(), &QSocketNotifier::activated, FRead.get(), [this] { Dispatch(); });
    FWrite = std::make_unique<QSocketNotifier>(Fd, QSocketNotifier::Write);
    FWrite->setEnabled(false);
    QObject::connect(FWrite.get(), &QSocketNotifier::activated, FWrite.get(), [this] { Flush(); });
    Flush();
}

void TWaylandIdleSource::Idled(void* Data, wl_proxy*) {
    auto* Source = static_cast<TWaylandIdleSource*>(Data);
    // Queued, as every call of a handler: one may end the source, which must not happen
    // while libwayland is still dispatching.
    QMetaObject::invokeMethod(
        Source->FRead.get(), [Source] { Source->FHandlers.Idle(); }, Qt::QueuedConnection);
}

void TWaylandIdleSource::Resumed(void* Data, wl_proxy*) {
    auto* Source = static_cast<TWaylandIdleSource*>(Data);
    QMetaObject::invokeMethod(
        Source->FRead.get(), [Source] { Source->FHandlers.Active(); }, Qt::QueuedConnection);
}

void TWaylandIdleSource::Dispatch() {
    // The socket is readable, so the read within does not block.
    if (wl_display_dispatch(FDisplay->Display()) < 0)
        Lose();
    else
        Flush();
}

void TWaylandIdleSource::Flush() {
    if (FLost)
        return;
    const int Sent = wl_display_flush(FDisplay->Display());
    // A full socket takes the rest when it is writable again.
    FWrite->setEnabled(Sent < 0 && errno == EAGAIN);
    if (Sent < 0 && errno != EAGAIN)
        Lose();
}

void TWaylandIdleSource::Lose() {
    if (FLost)
        return;
    FLost = true;
    FRead->setEnabled(false);
    FWrite->setEnabled(false);
    QMetaObject::invokeMethod(
        FRead.get(), [this] { FHandlers.Lost(LostCompositorMessage); }, Qt::QueuedConnection);
}
