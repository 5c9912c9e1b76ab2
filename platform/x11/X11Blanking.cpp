#include "platform/x11/X11Blanking.h"

#include "platform/Errors.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/XcbReply.h"

#include <QTimer>

#include <xcb/dpms.h>
#include <xcb/xcb.h>

#include <algorithm>

std::optional<TBlanking> TX11Blanking::Find() {
    try {
        const TX11Display Display;
        xcb_connection_t* C = Display.Connection();
        std::vector<int> Times;
        TReply<xcb_get_screen_saver_reply_t> Saver(
            xcb_get_screen_saver_reply(C, xcb_get_screen_saver(C), nullptr));
        if (Saver)
            Times.push_back(Saver->timeout);
        const auto* Dpms = xcb_get_extension_data(C, &xcb_dpms_id);
        if (Dpms && Dpms->present) {
            TReply<xcb_dpms_info_reply_t> Info(xcb_dpms_info_reply(C, xcb_dpms_info(C), nullptr));
            TReply<xcb_dpms_get_timeouts_reply_t> Timeouts(
                xcb_dpms_get_timeouts_reply(C, xcb_dpms_get_timeouts(C), nullptr));
            if (Info && Info->state && Timeouts)
                Times.insert(Times.end(), {Timeouts->standby_timeout, Timeouts->suspend_timeout,
                                           Timeouts->off_timeout});
        }
        // Zero is never.
        Times.erase(std::remove(Times.begin(), Times.end(), 0), Times.end());
        if (Times.empty())
            return std::nullopt;
        return TBlanking{std::chrono::seconds(*std::min_element(Times.begin(), Times.end())),
                         Setting};
    } catch (const EYstreloError&) {
        // No server to ask: nothing to tell.
        return std::nullopt;
    }
}

void TX11Blanking::Read(std::function<void(std::optional<TBlanking>)> Found) {
    QTimer::singleShot(0, this, [Found] { Found(Find()); });
}
