#pragma once

#include "engine/SaverPaint.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// Runs one paint and blocks the calling thread until the painter is idle again. For
// tools, benchmarks and tests, which have no event loop to wait in; the GUI never uses it.
class TPaintWaiter {
public:
    explicit TPaintWaiter(TSaverPaint& Painter) : FPainter(Painter) {
        FPainter.SetOnIdle([this] {
            std::lock_guard Guard(FLock);
            ++FIdleCount;
            FIdle.notify_all();
        });
    }
    ~TPaintWaiter() { FPainter.SetOnIdle(nullptr); }

    TPaintWaiter(const TPaintWaiter&) = delete;
    TPaintWaiter& operator=(const TPaintWaiter&) = delete;

    // Starts a paint and waits for its end; false if it was refused or timed out.
    bool Paint(const HWND& Window, const TRect& Rect,
               std::chrono::milliseconds Timeout = std::chrono::minutes(10)) {
        if (FPainter.Busy() || FPainter.Finished())
            return false;
        std::unique_lock Guard(FLock);
        const long Before = FIdleCount;
        Guard.unlock();
        // Only this thread starts paints, so an idle painter accepts the request.
        FPainter.StartPaint(Window, Rect);
        Guard.lock();
        return FIdle.wait_for(Guard, Timeout, [&] { return FIdleCount != Before; });
    }

private:
    TSaverPaint& FPainter;
    std::mutex FLock;
    std::condition_variable FIdle;
    long FIdleCount = 0;
};
