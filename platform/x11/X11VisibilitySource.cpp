#include "platform/x11/X11VisibilitySource.h"

#include "platform/x11/XcbReply.h"

#include <xcb/dpms.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <algorithm>

namespace {
constexpr std::uint8_t SentEventBit = 0x80;
} // namespace

TX11VisibilitySource::TX11VisibilitySource(const std::vector<TX11Window>& Windows, TLoop Loop)
    : FLoop(Loop) {
    xcb_connection_t* C = FDisplay.Connection();
    // Selected before the windows' state is asked, so no change falls between the two.
    // Selecting is per client: Qt's own selection on its windows stays as it is.
    const std::uint32_t Mask = XCB_EVENT_MASK_VISIBILITY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    std::vector<xcb_get_window_attributes_cookie_t> Asked;
    for (const TX11Window Window : Windows) {
        xcb_change_window_attributes(C, Window, XCB_CW_EVENT_MASK, &Mask);
        Asked.push_back(xcb_get_window_attributes(C, Window));
    }
    const auto* Saver = xcb_get_extension_data(C, &xcb_screensaver_id);
    const auto* Dpms = xcb_get_extension_data(C, &xcb_dpms_id);
    FHasDpms = Dpms && Dpms->present;
    if (Saver && Saver->present) {
        FSaverEvent = Saver->first_event;
        const TX11Window Root = FDisplay.DefaultRoot();
        xcb_screensaver_select_input(C, Root, XCB_SCREENSAVER_EVENT_NOTIFY_MASK);
        TReply<xcb_screensaver_query_info_reply_t> Info(xcb_screensaver_query_info_reply(
            C, xcb_screensaver_query_info(C, Root), nullptr));
        FBlanked = Info && Info->state == XCB_SCREENSAVER_STATE_ON &&
                   Info->kind == XCB_SCREENSAVER_KIND_BLANKED;
    }
    for (std::size_t I = 0; I < Windows.size(); ++I) {
        xcb_generic_error_t* RawError = nullptr;
        TReply<xcb_get_window_attributes_reply_t> Attributes(
            xcb_get_window_attributes_reply(C, Asked[I], &RawError));
        TReply<xcb_generic_error_t> Error(RawError);
        // A window gone already stays out: it shows nothing.
        if (Attributes)
            FWindows[Windows[I]].Mapped = Attributes->map_state != XCB_MAP_STATE_UNMAPPED;
    }
    if (FHasDpms)
        AskDpms();
    if (FLoop == TLoop::Qt) {
        FNotifier = std::make_unique<QSocketNotifier>(Fd(), QSocketNotifier::Read);
        FNotifier->setEnabled(false);
        connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] { Pump(); });
        FTimer.setSingleShot(true);
        connect(&FTimer, &QTimer::timeout, this, [this] { Pump(); });
    }
}

TX11VisibilitySource::~TX11VisibilitySource() = default;

bool TX11VisibilitySource::Seen() const {
    if (FDpmsOff || FBlanked)
        return false;
    // Windows we were not given, or all of them gone: nothing to go by.
    if (FWindows.empty())
        return true;
    return std::any_of(FWindows.begin(), FWindows.end(), [](const auto& Entry) {
        return Entry.second.Mapped && !Entry.second.Obscured;
    });
}

void TX11VisibilitySource::Watch(std::function<void()> Changed) {
    FChanged = std::move(Changed);
    if (FLoop == TLoop::Qt) {
        FNotifier->setEnabled(true);
        // Events read with the replies above sit in xcb's queue, unknown to the socket.
        FTimer.start(0);
    }
}

void TX11VisibilitySource::AskDpms() {
    xcb_connection_t* C = FDisplay.Connection();
    TReply<xcb_dpms_info_reply_t> Info(xcb_dpms_info_reply(C, xcb_dpms_info(C), nullptr));
    FDpmsOff = Info && Info->power_level != XCB_DPMS_DPMS_MODE_ON;
    FNextDpms = std::chrono::steady_clock::now() + DpmsCheck;
}

int TX11VisibilitySource::Pump() {
    const bool Was = Seen();
    ReadEvents();
    if (FHasDpms && std::chrono::steady_clock::now() >= FNextDpms) {
        AskDpms();
        ReadEvents();
    }
    int Next = -1;
    if (FDisplay.Broken()) {
        // The server is gone, and the program goes with it: nothing more to tell.
        FHasDpms = FDpmsOff = FBlanked = false;
        FWindows.clear();
        if (FNotifier)
            FNotifier->setEnabled(false);
    } else if (FHasDpms) {
        Next = static_cast<int>(std::max<std::int64_t>(
            0, std::chrono::ceil<std::chrono::milliseconds>(FNextDpms -
                                                           std::chrono::steady_clock::now())
                   .count()));
    }
    if (FLoop == TLoop::Qt && Next >= 0)
        FTimer.start(Next);
    if (Seen() != Was && FChanged)
        FChanged();
    return Next;
}

void TX11VisibilitySource::ReadEvents() {
    xcb_connection_t* C = FDisplay.Connection();
    for (;;) {
        TReply<xcb_generic_event_t> Event(xcb_poll_for_event(C));
        if (!Event)
            return;
        const std::uint8_t Type = Event->response_type & ~SentEventBit;
        if (FSaverEvent && Type == FSaverEvent + XCB_SCREENSAVER_NOTIFY) {
            const auto* Notify = reinterpret_cast<const xcb_screensaver_notify_event_t*>(Event.get());
            FBlanked = (Notify->state == XCB_SCREENSAVER_STATE_ON ||
                        Notify->state == XCB_SCREENSAVER_STATE_CYCLE) &&
                       Notify->kind == XCB_SCREENSAVER_KIND_BLANKED;
        } else if (Type == XCB_VISIBILITY_NOTIFY) {
            const auto* Notify = reinterpret_cast<const xcb_visibility_notify_event_t*>(Event.get());
            if (const auto It = FWindows.find(Notify->window); It != FWindows.end())
                It->second.Obscured = Notify->state == XCB_VISIBILITY_FULLY_OBSCURED;
        } else if (Type == XCB_MAP_NOTIFY) {
            const auto* Notify = reinterpret_cast<const xcb_map_notify_event_t*>(Event.get());
            if (const auto It = FWindows.find(Notify->window); It != FWindows.end())
                It->second = {true, false}; // the server tells the visibility anew
        } else if (Type == XCB_UNMAP_NOTIFY) {
            const auto* Notify = reinterpret_cast<const xcb_unmap_notify_event_t*>(Event.get());
            if (const auto It = FWindows.find(Notify->window); It != FWindows.end())
                It->second.Mapped = false;
        } else if (Type == XCB_DESTROY_NOTIFY) {
            const auto* Notify = reinterpret_cast<const xcb_destroy_notify_event_t*>(Event.get());
            if (const auto It = FWindows.find(Notify->window); It != FWindows.end())
                It->second.Mapped = false;
        }
        // Errors (a window destroyed under us) say nothing about the others.
    }
}
