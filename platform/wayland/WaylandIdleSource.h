#pragma once

#include "platform/IdleSource.h"

#include <memory>

class QSocketNotifier;
class TWaylandDisplay;
struct wl_proxy;

// The Wayland compositor's idle clock: ext-idle-notify-v1 where the compositor has it
// (KDE Plasma 6, sway 1.8 and newer, Hyprland, labwc, ...), otherwise KDE's older
// org_kde_kwin_idle (sway 1.7, Plasma 5). The compositor honours idle-inhibit itself.
class TWaylandIdleSource : public TIdleSource {
public:
    // Nothing when the compositor has neither protocol; raises EYstreloError when
    // $WAYLAND_DISPLAY names no compositor that answers.
    static std::unique_ptr<TIdleSource> Open();

    ~TWaylandIdleSource() override;

    void Watch(std::chrono::milliseconds Duration, THandlers Handlers) override;
    std::string Name() const override;

private:
    std::unique_ptr<TWaylandDisplay> FDisplay;
    // Bound on Open: the notifier of whichever protocol the compositor has, and its seat.
    wl_proxy* FNotifier = nullptr;
    bool FKde = false;
    wl_proxy* FSeat = nullptr;
    // Made by Watch: the compositor's countdown for our duration.
    wl_proxy* FNotification = nullptr;
    std::unique_ptr<QSocketNotifier> FRead;
    std::unique_ptr<QSocketNotifier> FWrite;
    THandlers FHandlers;
    bool FLost = false;

    TWaylandIdleSource();
    // Reads and handles whatever the compositor sent.
    void Dispatch();
    // Sends what libwayland holds back; waits for the socket to take the rest.
    void Flush();
    void Lose();
    // The countdown's events, for its listener.
    static void Idled(void* Data, wl_proxy*);
    static void Resumed(void* Data, wl_proxy*);
};
