#include "host/HostWindow.h"

#include "host/InstanceGuard.h"
#include "platform/Errors.h"
#include "platform/EventWait.h"

#include <chrono>
#include <cstdio>
#include <xcb/xcb.h>

namespace {
using TClock = std::chrono::steady_clock;
// A host that cycles display modes signals the old copy and starts the next one into the
// same window at once: the old one needs a moment to give the window up. A copy still
// there after that is a second copy, which ends.
constexpr std::chrono::milliseconds WindowHandOver{1000};
constexpr int WindowRetryMs = 20;
// The dialog or the saver with windows of its own may run for long; a copy waits for them
// patiently, and checks again now and then (a lock gives no notice of its release).
constexpr int InstanceRetryMs = 250;
} // namespace

std::string WindowText(TX11Window Window) {
    char Text[16];
    std::snprintf(Text, sizeof Text, "0x%x", Window);
    return Text;
}

THostWindow::THostWindow(std::optional<TX11Window> Window)
    : FSignals({SIGTERM, SIGINT, SIGHUP}), FWindow(Window ? *Window : FDisplay.DefaultRoot()),
      FGuardName(FDisplay.ServerName() + "-" + WindowText(FWindow)) {
    if (FDisplay.WindowState(FWindow) == TX11Display::TWindowState::Gone)
        throw EYstreloError("no window " + WindowText(FWindow) + " to paint in");
    FDisplay.WatchWindow(FWindow);
}

bool THostWindow::Root() const {
    return FDisplay.ScreenOf(FWindow)->root == FWindow;
}

void THostWindow::CheckConnection() const {
    if (FDisplay.Broken())
        throw EYstreloError("lost the connection to the X server");
}

bool THostWindow::WaitUntilShown() {
    const TClock::time_point GiveUp = TClock::now() + WindowHandOver;
    for (;;) {
        CheckConnection();
        if (SignalReceived())
            return false;
        const auto State = FDisplay.WindowState(FWindow);
        CheckConnection();
        if (State == TX11Display::TWindowState::Gone)
            return false;
        int Retry = WaitForever;
        if (State == TX11Display::TWindowState::Visible) {
            switch (AcquireWindowInstance(FGuardName)) {
            case TWindowGuard::Held:
                return true;
            case TWindowGuard::WindowTaken:
                if (TClock::now() >= GiveUp)
                    return false;
                Retry = WindowRetryMs;
                break;
            case TWindowGuard::InstanceTaken:
                Retry = InstanceRetryMs;
                break;
            }
        }
        WaitForInput({FDisplay.Fd(), FSignals.Fd()}, Retry);
        FDisplay.ProcessEvents();
    }
}

bool THostWindow::StillShown() {
    if (!FDisplay.ProcessEvents())
        return true;
    const bool Visible = FDisplay.IsWindowVisible(FWindow);
    CheckConnection();
    return Visible;
}
