#pragma once

#include "platform/DeviceContext.h"
#include "platform/Errors.h"
#include "platform/Surface.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

// An inclusive rectangle: Right and Bottom belong to it.
struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

// The base of every painter: a worker thread that paints one rectangular area of a
// window once per start request and then parks.
//
// Hand-over: StartPaint (GUI thread) and the painter thread meet under FLock. Busy turns
// true inside an accepted StartPaint, before the thread is woken, and false only when the
// thread has finished the paint and is about to park, so there is no moment in which a
// second request could slip in; a request accepted after Busy turned false is recorded
// under the lock and the thread finds it before it waits.
//
// Settings that the GUI thread changes (subclass fields read by the hot loop as plain
// data) are written only while Busy is false or while the painter is held by Suspend;
// both states are entered and left through FLock or an acquire/release pair on Busy,
// which orders the accesses.
//
// Every painter is made as TPainter<T> (below), whose destructor stops and joins the
// thread before any part of the painter is destroyed. A painter class cannot be made
// any other way: it stays abstract until TPainter seals it.
class TSaverPaint {
public:
    // The painter thread's name, as top -H and /proc show it.
    static constexpr const char* PainterThreadName = "ystrelo-paint";

    TSaverPaint();
    virtual ~TSaverPaint();

    TSaverPaint(const TSaverPaint&) = delete;
    TSaverPaint& operator=(const TSaverPaint&) = delete;

    // Asks for one paint of Rect (inclusive) in Window. Ignored while Busy.
    void StartPaint(const HWND& Window, const TRect& Rect);

    bool Busy() const { return FBusy.load(std::memory_order_acquire); }

    // Thread control as the owners use it: Terminate, Resume, WaitFor, then delete.
    void Terminate();
    bool Terminated() const { return FTerminated.load(std::memory_order_relaxed); }
    // Holds a busy painter at its next safe point (between two calculation cycles) and
    // returns once it is held or has parked; a parked painter is not touched.
    void Suspend();
    // Releases a painter held by Suspend; wakes a parked one only to see Terminate.
    void Resume();
    // Waits for the thread to end. Only after Terminate; returns at once if it ended.
    void WaitFor();
    // Terminate, Resume and WaitFor in one: what every owner does before freeing.
    void Stop();

    // Whether the thread has ended (terminated, or an error left a paint).
    bool Finished() const { return FFinished.load(std::memory_order_acquire); }
    // The error that ended the thread, if any.
    std::exception_ptr FatalException() const;

    // Called on the painter thread each time Busy turns false: after every paint and when
    // the thread ends. It must not block.
    void SetOnIdle(std::function<void()> Handler);

    HWND Window() const { return FWindow; }
    const HDC& DC() const { return FDC; }
    std::int32_t Top() const { return FTop; }
    std::int32_t Left() const { return FLeft; }
    std::int32_t Height() const { return FHeight; }
    std::int32_t Width() const { return FWidth; }

protected:
    // Sizes per-pixel buffers for a new area; runs in the caller of StartPaint.
    virtual void PrepareArea() = 0;
    // Paints the area once; returns when done or when Terminated is set.
    virtual void PaintArea() = 0;
    // Runs right after every PaintArea, also one cut short by Terminate.
    virtual void AfterPaint() {}

    // Inline for the common case, a pixel of the area into a surface: the sweep plots at
    // nearly every point it visits.
    void PlotPixel(std::int32_t X, std::int32_t Y, TColour Colour) {
        if (FSurface && static_cast<std::uint32_t>(X) < static_cast<std::uint32_t>(FWidth) &&
            static_cast<std::uint32_t>(Y) < static_cast<std::uint32_t>(FHeight) && Colour >= 0)
            [[likely]]
            FSurface->SetPixel(FLeft + X, FTop + Y, Colour);
        else
            PlotPixelElsewhere(X, Y, Colour);
    }

    // Where the paint loops let a pending Suspend take hold. Cheap when none is pending.
    // True when it held: only then can the owner have changed settings.
    bool CheckSuspend() {
        if (FSuspendRequested.load(std::memory_order_relaxed)) [[unlikely]]
            return HoldSuspended();
        return false;
    }

    // Whether a Suspend waits for the painter to hold. For tests.
    bool SuspendRequested() const { return FSuspendRequested.load(std::memory_order_relaxed); }

    // Runs on the painter thread once it has seen the terminate request or an error,
    // right before it reports itself finished. For tests, which hold the thread there.
    virtual void BeforeFinish() {}

private:
    template <class TPaint> friend class TPainter;
    // Implemented by TPainter alone.
    virtual void SealedByOwner() = 0;

    void Execute();
    bool HoldSuspended();
    void PlotPixelElsewhere(std::int32_t X, std::int32_t Y, TColour Colour);

    HWND FWindow;
    HDC FDC;
    // FDC itself when it is a surface, for stores without a virtual call; kept alive by FDC.
    TSurface* FSurface = nullptr;
    std::atomic<bool> FBusy{false};
    std::int32_t FTop = 0;
    std::int32_t FLeft = 0;
    std::int32_t FHeight = 0;
    std::int32_t FWidth = 0;

    mutable std::mutex FLock;
    std::condition_variable FWake;   // painter waits here for a request or terminate
    std::condition_variable FHeldCv; // GUI waits here for the painter to be held
    bool FRequested = false;         // under FLock
    bool FHeld = false;              // under FLock
    std::atomic<bool> FSuspendRequested{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::exception_ptr FFatal; // under FLock
    std::function<void()> FOnIdle;
    std::thread FThread;
};

// The most derived class of every painter. Its destructor runs first, while every part of
// the painter is still whole, and stops and joins the thread there: no painter class has
// to remember to, and the thread never runs code of a half-destroyed object.
template <class TPaint> class TPainter final : public TPaint {
public:
    template <class... TArgs>
    explicit TPainter(TArgs&&... Args) : TPaint(std::forward<TArgs>(Args)...) {}
    ~TPainter() override { this->Stop(); }

private:
    void SealedByOwner() override {}
};
