#include "engine/SaverPaint.h"

#include "platform/Checked.h"
#include "platform/ThreadName.h"

TSaverPaint::TSaverPaint() : FThread(&TSaverPaint::Execute, this) {}

TSaverPaint::~TSaverPaint() {
    // Already stopped by TPainter; this covers a constructor of a painter class that threw
    // after the thread had started, which never ran any of its code.
    Stop();
    if (FDC)
        ReleaseDC(FWindow, FDC);
}

void TSaverPaint::StartPaint(const HWND& Window, const TRect& Rect) {
    // Busy is set only here (GUI thread) and cleared only by the painter, so a false
    // reading cannot turn true behind our back: the fields below are ours until we wake.
    if (Busy())
        return;
    if (FDC)
        ReleaseDC(FWindow, FDC);
    FWindow = Window;
    FDC = GetDC(FWindow);
    FSurface = dynamic_cast<TSurface*>(FDC.get());
    FLeft = Rect.Left;
    FTop = Rect.Top;
    FWidth = CheckedAdd(CheckedSub(Rect.Right, Rect.Left), 1);
    FHeight = CheckedAdd(CheckedSub(Rect.Bottom, Rect.Top), 1);
    PrepareArea();
    {
        // A thread that ended (terminated, or an error left a paint) accepts requests but
        // paints nothing: Busy must not turn true with nobody left to clear it. Decided
        // under the lock, where the thread marks itself finished and clears Busy in one
        // step: either it has done so, or it still will, after this request.
        std::lock_guard Guard(FLock);
        if (FFinished.load(std::memory_order_relaxed))
            return;
        FBusy.store(true, std::memory_order_release);
        FRequested = true;
    }
    FWake.notify_all();
}

void TSaverPaint::PlotPixelElsewhere(std::int32_t X, std::int32_t Y, TColour Colour) {
    if (X < 0 || X >= FWidth || Y < 0 || Y >= FHeight)
        return;
    if (Colour < 0)
        throw ERangeError();
    SetPixelV(FDC, FLeft + X, FTop + Y, Colour);
}

void TSaverPaint::Execute() {
    NameThisThread(PainterThreadName);
    for (;;) {
        {
            std::unique_lock Guard(FLock);
            FWake.wait(Guard, [this] { return FRequested || Terminated(); });
            FRequested = false;
            if (Terminated())
                break;
        }
        try {
            PaintArea();
            AfterPaint();
        } catch (...) {
            std::lock_guard Guard(FLock);
            FFatal = std::current_exception();
            break;
        }
        std::function<void()> OnIdle;
        {
            std::lock_guard Guard(FLock);
            // A Suspend that found the painter busy but came too late to hold it lapses
            // here, so the next paint does not stop at its first safe point.
            FSuspendRequested.store(false, std::memory_order_relaxed);
            FBusy.store(false, std::memory_order_release);
            OnIdle = FOnIdle;
        }
        FHeldCv.notify_all();
        if (OnIdle)
            OnIdle();
    }
    BeforeFinish();
    std::function<void()> OnIdle;
    {
        std::lock_guard Guard(FLock);
        FSuspendRequested.store(false, std::memory_order_relaxed);
        FBusy.store(false, std::memory_order_release);
        FFinished.store(true, std::memory_order_release);
        OnIdle = FOnIdle;
    }
    FHeldCv.notify_all();
    // Waiters learn of the end too, so an error that ended the thread is seen at once.
    if (OnIdle)
        OnIdle();
}

bool TSaverPaint::HoldSuspended() {
    std::unique_lock Guard(FLock);
    if (!FSuspendRequested.load(std::memory_order_relaxed))
        return false;
    FHeld = true;
    FHeldCv.notify_all();
    FWake.wait(Guard, [this] {
        return !FSuspendRequested.load(std::memory_order_relaxed) || Terminated();
    });
    FHeld = false;
    return true;
}

void TSaverPaint::Suspend() {
    std::unique_lock Guard(FLock);
    // Busy is cleared, and Finished set, under this lock whenever a paint or the thread
    // ends, so the wait below always has someone to end it.
    if (!FBusy.load(std::memory_order_relaxed) || FFinished.load(std::memory_order_relaxed))
        return;
    FSuspendRequested.store(true, std::memory_order_relaxed);
    FHeldCv.wait(Guard, [this] { return FHeld || !FBusy.load(std::memory_order_relaxed); });
}

void TSaverPaint::Resume() {
    {
        std::lock_guard Guard(FLock);
        FSuspendRequested.store(false, std::memory_order_relaxed);
    }
    FWake.notify_all();
}

void TSaverPaint::Terminate() {
    {
        std::lock_guard Guard(FLock);
        FTerminated.store(true, std::memory_order_relaxed);
    }
    FWake.notify_all();
}

void TSaverPaint::WaitFor() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TSaverPaint::Stop() {
    Terminate();
    Resume();
    WaitFor();
}

std::exception_ptr TSaverPaint::FatalException() const {
    std::lock_guard Guard(FLock);
    return FFatal;
}

void TSaverPaint::SetOnIdle(std::function<void()> Handler) {
    std::lock_guard Guard(FLock);
    FOnIdle = std::move(Handler);
}
