#include "host/Preview.h"

#include "host/HostWindow.h"
#include "host/InstanceGuard.h"
#include "host/StartupState.h"
#include "platform/Errors.h"
#include "platform/EventWait.h"
#include "platform/Wakeup.h"
#include "platform/x11/EmbeddedWindow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

namespace {
// How often new pixels are copied to the host's window while the painter paints. On a
// large window a copy costs more, so the pause after it grows to keep the copying under
// one hundredth of the main thread's time.
constexpr std::chrono::milliseconds RefreshInterval{40};
constexpr std::chrono::milliseconds LongestRefreshInterval{250};
constexpr int FlushDutyFactor = 100;
constexpr long double FirstCentreX = 0.0L;
constexpr long double FirstCentreY = 0.0L;
constexpr long double FirstRadius = 4.0L;

// Stops and frees the preview painter on every way out of the loop, an error included.
struct TPainterGuard {
    ~TPainterGuard() {
        if (PreviewPainter)
            PreviewPainter->Stop();
        PreviewPainter.reset();
    }
};
} // namespace

void RunPreview(THostWindow& Host) {
    // Step 1, waiting without spinning until the host shows its window, was done by the
    // caller (THostWindow::WaitUntilShown).
    // Step 2: the size is taken once. Right and bottom are inclusive, so the painter
    // covers one column and one row more than the window; those are clipped.
    TX11Display& Display = Host.Display();
    const TX11Rect R = Host.Rect();
    PreviewRect = {0, 0, R.Right - R.Left, R.Bottom - R.Top};
    TEmbeddedWindow Window(Display, PreviewWindow, R.Right - R.Left, R.Bottom - R.Top);

    // Step 3.
    // Declared before the guard: the painter may still call its idle handler while the
    // guard stops it.
    TWakeup PainterIdle;
    TPainterGuard Guard;
    PreviewPainter = std::make_unique<TPainter<TMandelPaint>>();
    PreviewPainter->SetView(FirstCentreX, FirstCentreY, FirstRadius);
    // Runs on the painter thread: it only wakes the loop below.
    PreviewPainter->SetOnIdle([&PainterIdle] { PainterIdle.Notify(); });

    // Step 4: restart the painter the moment it parks, for as long as the window shows.
    // Between passes the loop sleeps in poll until the server, a signal or the painter
    // has news, or until it is time to copy fresh pixels.
    using Clock = std::chrono::steady_clock;
    Clock::time_point NextFlush = Clock::now();
    for (;;) {
        PainterIdle.Clear();
        if (!Host.StillShown() || Host.SignalReceived())
            break;
        if (PreviewPainter->Finished()) {
            if (const auto Error = PreviewPainter->FatalException())
                std::rethrow_exception(Error);
            throw EYstreloError("the preview painter ended");
        }
        if (!PreviewPainter->Busy())
            PreviewPainter->StartPaint(Window.Handle(), PreviewRect);
        auto Now = Clock::now();
        if (Now >= NextFlush) {
            Window.Flush();
            const auto Done = Clock::now();
            NextFlush = Done + std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              (Done - Now) * FlushDutyFactor),
                                          RefreshInterval, LongestRefreshInterval);
            Now = Done;
        }
        const auto Pause = std::chrono::ceil<std::chrono::milliseconds>(NextFlush - Now);
        WaitForInput({Display.Fd(), Host.SignalFd(), PainterIdle.Fd()},
                     PreviewPainter->Busy() ? static_cast<int>(Pause.count()) + 1 : WaitForever);
    }
    // The host may start the next copy into this window right now.
    ReleaseWindowInstance();
    // Step 5: the guard stops and frees the painter before the window goes.
}
