#include "platform/x11/X11IdleSource.h"

#include "platform/Errors.h"
#include "platform/qt/QtMessages.h"
#include "platform/session/BusLoss.h"
#include "platform/session/SaverHosts.h"
#include "platform/session/ScreenSaverService.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/XcbReply.h"

#include <QDBusServiceWatcher>
#include <QSocketNotifier>
#include <QTimer>
#include <cstring>
#include <string_view>
#include <xcb/sync.h>
#include <xcb/xcb.h>

namespace {
constexpr std::string_view IdleCounterName = "IDLETIME";
// libxcb pads its system-counter record to 16 bytes where the wire has 14, so its name
// accessor points 2 bytes too far (1.15 and 1.17 alike). The name follows the counter,
// its resolution and the name's length.
constexpr std::size_t SystemCounterHead = 4 + 8 + 2;
// XScreenSaver's daemon sets it on the root window as it starts.
constexpr const char* XScreenSaverStatus = "_SCREENSAVER_STATUS";
constexpr std::uint8_t SentEventBit = 0x80;
constexpr std::uint8_t ErrorResponse = 0;
constexpr std::uint32_t AlarmFields = XCB_SYNC_CA_COUNTER | XCB_SYNC_CA_VALUE_TYPE |
                                      XCB_SYNC_CA_VALUE | XCB_SYNC_CA_TEST_TYPE |
                                      XCB_SYNC_CA_DELTA | XCB_SYNC_CA_EVENTS;

xcb_sync_int64_t ToInt64(std::int64_t Value) {
    return {static_cast<std::int32_t>(Value >> 32), static_cast<std::uint32_t>(Value)};
}

std::int64_t FromInt64(xcb_sync_int64_t Value) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(Value.hi) << 32 | Value.lo);
}

// Create and change take the same fields in structures of their own.
template <typename TValues>
TValues AlarmValues(std::uint32_t Counter, bool ForIdle, std::int64_t Value) {
    TValues Values{};
    Values.counter = Counter;
    Values.valueType = XCB_SYNC_VALUETYPE_ABSOLUTE;
    Values.value = ToInt64(Value);
    // Comparisons, not transitions: a transition is missed when the counter is already
    // past the value as the alarm is set (idle at start, input just before a re-arm).
    Values.testType =
        ForIdle ? XCB_SYNC_TESTTYPE_POSITIVE_COMPARISON : XCB_SYNC_TESTTYPE_NEGATIVE_COMPARISON;
    Values.delta = ToInt64(0);
    Values.events = 1;
    return Values;
}
} // namespace

TX11IdleSource::TX11IdleSource(std::unique_ptr<TX11Display> Display)
    : FDisplay(std::move(Display)), FConnection(FDisplay->Connection()),
      FRoot(FDisplay->DefaultRoot()) {}

TX11IdleSource::~TX11IdleSource() = default;

std::unique_ptr<TIdleSource> TX11IdleSource::Open() {
    std::unique_ptr<TX11IdleSource> Source(new TX11IdleSource(std::make_unique<TX11Display>()));
    Source->FindIdleCounter();
    return Source;
}

void TX11IdleSource::FindIdleCounter() {
    const xcb_query_extension_reply_t* Sync = xcb_get_extension_data(FConnection, &xcb_sync_id);
    if (!Sync || !Sync->present)
        throw EYstreloError("the X server has no SYNC extension");
    FFirstEvent = Sync->first_event;
    // Required before any other request of the extension.
    TReply<xcb_sync_initialize_reply_t> Version(xcb_sync_initialize_reply(
        FConnection,
        xcb_sync_initialize(FConnection, XCB_SYNC_MAJOR_VERSION, XCB_SYNC_MINOR_VERSION), nullptr));
    TReply<xcb_sync_list_system_counters_reply_t> Counters(xcb_sync_list_system_counters_reply(
        FConnection, xcb_sync_list_system_counters(FConnection), nullptr));
    if (!Version || !Counters)
        throw EYstreloError("the X server's SYNC extension does not answer");
    for (auto It = xcb_sync_list_system_counters_counters_iterator(Counters.get()); It.rem;
         xcb_sync_systemcounter_next(&It))
        if (std::string_view(reinterpret_cast<const char*>(It.data) + SystemCounterHead,
                             It.data->name_len) == IdleCounterName)
            FCounter = It.data->counter;
    if (!FCounter)
        throw EYstreloError("the X server has no IDLETIME counter");

    TReply<xcb_intern_atom_reply_t> Atom(xcb_intern_atom_reply(
        FConnection,
        xcb_intern_atom(FConnection, 0, std::strlen(XScreenSaverStatus), XScreenSaverStatus),
        nullptr));
    if (!Atom)
        throw EYstreloError(LostDisplayMessage);
    FStatusAtom = Atom->atom;
}

std::string TX11IdleSource::Name() const {
    return "the X server's IDLETIME counter";
}

void TX11IdleSource::Watch(std::chrono::milliseconds Duration, THandlers Handlers) {
    Assert(Duration.count() > 0, "TX11IdleSource.Watch: an idle time of at least 1 ms");
    FDuration = Duration;
    FHandlers = std::move(Handlers);
    FAlarm = xcb_generate_id(FConnection);
    const auto Values =
        AlarmValues<xcb_sync_create_alarm_value_list_t>(FCounter, true, FDuration.count());
    TReply<xcb_generic_error_t> Refused(xcb_request_check(
        FConnection, xcb_sync_create_alarm_aux_checked(FConnection, FAlarm, AlarmFields, &Values)));
    if (Refused)
        throw EYstreloError("the X server refused an alarm on its IDLETIME counter");
    const std::uint32_t Mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(FConnection, FRoot, XCB_CW_EVENT_MASK, &Mask);
    xcb_flush(FConnection);

    FNotifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(FConnection),
                                                  QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, &TX11IdleSource::ReadEvents);
    ServeTheBus();
    // Events read while waiting for a reply sit in xcb's queue; the socket says nothing
    // more of them.
    QTimer::singleShot(0, this, &TX11IdleSource::ReadEvents);
}

void TX11IdleSource::ServeTheBus() {
    FBus = QDBusConnection::sessionBus();
    // An X session without a bus has the idle clock alone, and nobody to inhibit it.
    if (!FBus.isConnected())
        return;
    WatchBusLoss(FBus, this, SLOT(BusLost()));
    FHosts = std::make_unique<QDBusServiceWatcher>(QString(), FBus,
                                                   QDBusServiceWatcher::WatchForRegistration);
    for (const auto& Host : KnownSaverHosts)
        FHosts->addWatchedService(Host.BusName);
    connect(FHosts.get(), &QDBusServiceWatcher::serviceRegistered, this,
            [this](const QString& BusName) {
                for (const auto& Host : KnownSaverHosts)
                    if (BusName == Host.BusName)
                        StepAside(Host.Name);
            });

    // A host may have come up since the watcher looked.
    if (const std::string Host = TSaverHosts::OnTheBus(); !Host.empty()) {
        QTimer::singleShot(0, this, [this, Host] { StepAside(Host); });
        return;
    }
    // Nothing when the desktop serves the name itself (KDE's screen locker does): its
    // inhibits are then the desktop's to keep, and the watcher asks it (TKdeInhibits).
    FService = TScreenSaverService::Serve(FBus, {[this](bool Inhibited) {
                                                     FInhibited = Inhibited;
                                                     // As GNOME does: the whole idle time runs
                                                     // again once the film is over.
                                                     if (!Inhibited)
                                                         ResetIdleTime();
                                                 },
                                                 [this] { ResetIdleTime(); },
                                                 [this] { return FReportedIdle; }});
}

void TX11IdleSource::ReadEvents() {
    while (!FStopped) {
        TReply<xcb_generic_event_t> Event(xcb_poll_for_event(FConnection));
        if (!Event)
            break;
        const std::uint8_t Type = Event->response_type & ~SentEventBit;
        if (Type == FFirstEvent + XCB_SYNC_ALARM_NOTIFY) {
            const auto* Alarm = reinterpret_cast<const xcb_sync_alarm_notify_event_t*>(Event.get());
            if (Alarm->alarm == FAlarm && Alarm->state != XCB_SYNC_ALARMSTATE_DESTROYED)
                Alarmed(FromInt64(Alarm->counter_value));
        } else if (Type == XCB_PROPERTY_NOTIFY) {
            const auto* Property =
                reinterpret_cast<const xcb_property_notify_event_t*>(Event.get());
            if (Property->atom == FStatusAtom && Property->state == XCB_PROPERTY_NEW_VALUE)
                StepAside(XScreenSaverName);
        } else if (Type == ErrorResponse) {
            // Our only requests are the alarm's and the reset: an error leaves no clock.
            Stop();
            FHandlers.Lost("the X server refused a change of the idle alarm");
        }
    }
    if (!FStopped && xcb_connection_has_error(FConnection)) {
        Stop();
        FHandlers.Lost(LostDisplayMessage);
    }
}

void TX11IdleSource::Alarmed(std::int64_t Counter) {
    if (FWaitingForIdle) {
        // Input that came since the server sent this takes the counter below it already:
        // the comparison then fires at once.
        Arm(false, Counter - 1);
        if (!FInhibited) {
            FReportedIdle = true;
            FHandlers.Idle();
        }
    } else {
        Arm(true, FDuration.count());
        if (FReportedIdle) {
            FReportedIdle = false;
            FHandlers.Active();
        }
    }
}

void TX11IdleSource::Arm(bool ForIdle, std::int64_t Value) {
    FWaitingForIdle = ForIdle;
    const auto Values = AlarmValues<xcb_sync_change_alarm_value_list_t>(FCounter, ForIdle, Value);
    xcb_sync_change_alarm_aux(FConnection, FAlarm, AlarmFields, &Values);
    xcb_flush(FConnection);
}

void TX11IdleSource::ResetIdleTime() {
    xcb_force_screen_saver(FConnection, XCB_SCREEN_SAVER_RESET);
    xcb_flush(FConnection);
    // A flush may read events too.
    QTimer::singleShot(0, this, &TX11IdleSource::ReadEvents);
}

void TX11IdleSource::StepAside(const std::string& Host) {
    if (FStopped)
        return;
    Stop();
    FHandlers.StepAside(Host + " has started and starts a screen saver when this session is idle: "
                               "choose Ystrelo in its settings");
}

void TX11IdleSource::Stop() {
    FStopped = true;
    // Not deleted: this may run from their own signals.
    FNotifier->setEnabled(false);
    if (FHosts)
        FHosts->disconnect(this);
    // A host that comes next may want the name.
    FService.reset();
    xcb_sync_destroy_alarm(FConnection, FAlarm);
    xcb_flush(FConnection);
}

void TX11IdleSource::BusLost() {
    if (FStopped)
        return;
    Stop();
    FHandlers.Lost(LostBusMessage);
}
