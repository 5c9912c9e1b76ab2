#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Blocks in its paint until the test lets it go, so the test controls Busy.
class TGatedPaint : public TSaverPaint {
public:
    std::atomic<int> Prepared{0}, Painted{0}, Cycles{0};
    std::atomic<bool> Open{false};
    std::atomic<bool> Throw{false};

    // Runs "calculation cycles" until opened; each cycle is a safe point for Suspend.
    void PaintArea() override {
        ++Painted;
        if (Throw)
            throw ERangeError();
        while (!Open && !Terminated()) {
            ++Cycles;
            CheckSuspend();
            std::this_thread::yield();
        }
        PlotPixel(-1, 0, clWhite);       // clipped
        PlotPixel(0, Height(), clWhite); // clipped
        PlotPixel(0, 0, MakeColour(1, 2, 3));
    }
    void PrepareArea() override { ++Prepared; }
    void Plot(int X, int Y, TColour C) { PlotPixel(X, Y, C); }
};

template <class Predicate> bool WaitUntil(Predicate P, std::chrono::milliseconds Limit = 5s) {
    const auto End = std::chrono::steady_clock::now() + Limit;
    while (!P()) {
        if (std::chrono::steady_clock::now() > End)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(SaverPaint, AreaAndRequestsWhileBusy) {
    auto Window = TSurfaceWindow::Create(200, 100, clBlack);
    TPainter<TGatedPaint> Painter;
    EXPECT_FALSE(Painter.Busy());
    Painter.StartPaint(Window, {10, 20, 10, 20});
    EXPECT_TRUE(Painter.Busy()); // from the accepted request on, not from the thread's start
    EXPECT_EQ(Painter.Width(), 1);
    EXPECT_EQ(Painter.Height(), 1);

    Painter.StartPaint(Window, {0, 0, 99, 49}); // refused: nothing changes
    EXPECT_EQ(Painter.Prepared.load(), 1);
    EXPECT_EQ(Painter.Left(), 10);
    Painter.Open = true;
    ASSERT_TRUE(WaitUntil([&] { return !Painter.Busy(); }));
    EXPECT_EQ(Painter.Painted.load(), 1);
    // (0, 0) of the area is window pixel (Left, Top); the clipped plots left no trace.
    auto Surface = Window->Surface();
    EXPECT_EQ(Surface->Pixel(10, 20), MakeColour(1, 2, 3));
    EXPECT_EQ(Surface->Pixel(9, 20), clBlack);
    EXPECT_EQ(Surface->Pixel(10, 21), clBlack);

    Painter.StartPaint(Window, {0, 0, 99, 49});
    EXPECT_EQ(Painter.Width(), 100);
    EXPECT_EQ(Painter.Height(), 50);
    ASSERT_TRUE(WaitUntil([&] { return !Painter.Busy(); }));
    EXPECT_THROW(Painter.Plot(0, 0, -1), ERangeError);
}

TEST(SaverPaint, ContextOfTheFormerWindowIsReleasedFirst) {
    TRecordingWindow First, Second;
    HWND A(std::shared_ptr<TWindow>{}, &First), B(std::shared_ptr<TWindow>{}, &Second);
    {
        TPainter<TGatedPaint> Painter;
        Painter.Open = true;
        Painter.StartPaint(A, {0, 0, 9, 9});
        ASSERT_TRUE(WaitUntil([&] { return !Painter.Busy(); }));
        Painter.StartPaint(B, {0, 0, 9, 9});
        EXPECT_EQ(First.Released.load(), 1);
        EXPECT_EQ(Second.DCs.load(), 1);
        EXPECT_EQ(Second.Released.load(), 0);
        ASSERT_TRUE(WaitUntil([&] { return !Painter.Busy(); }));
    }
    EXPECT_EQ(Second.Released.load(), 1); // the last context is given back on destruction
}

TEST(SaverPaint, TerminateBeforeAnyRequestPaintsNothing) {
    TPainter<TGatedPaint> Painter;
    Painter.Terminate();
    Painter.Resume();
    Painter.WaitFor();
    EXPECT_EQ(Painter.Painted.load(), 0);
    EXPECT_TRUE(Painter.Finished());
}

TEST(SaverPaint, ErrorInAPaintEndsTheThreadAndIsKept) {
    auto Window = TSurfaceWindow::Create(10, 10);
    TPainter<TGatedPaint> Painter;
    Painter.Throw = true;
    Painter.StartPaint(Window, {0, 0, 9, 9});
    ASSERT_TRUE(WaitUntil([&] { return Painter.Finished(); }));
    EXPECT_FALSE(Painter.Busy());
    ASSERT_NE(Painter.FatalException(), nullptr);
    EXPECT_THROW(std::rethrow_exception(Painter.FatalException()), ERangeError);
    // Later requests are accepted but paint nothing.
    Painter.StartPaint(Window, {0, 0, 4, 4});
    EXPECT_EQ(Painter.Prepared.load(), 2);
    EXPECT_EQ(Painter.Width(), 5);
    EXPECT_FALSE(Painter.Busy());
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(Painter.Painted.load(), 1);
}

// Holds its thread where it has seen the terminate request but not yet reported itself
// finished, so that a request can be made in that gap.
class TEndGatedPaint : public TGatedPaint {
public:
    std::atomic<bool> AtEnd{false}, LetEnd{false};

protected:
    void BeforeFinish() override {
        AtEnd = true;
        while (!LetEnd)
            std::this_thread::yield();
    }
};

TEST(SaverPaint, RequestWhileTheThreadEndsLeavesItIdle) {
    auto Window = TSurfaceWindow::Create(10, 10);
    TPainter<TEndGatedPaint> Painter;
    Painter.Terminate();
    Painter.Resume();
    ASSERT_TRUE(WaitUntil([&] { return Painter.AtEnd.load(); }));
    // The thread is gone for all purposes but has not said so yet.
    Painter.StartPaint(Window, {0, 0, 9, 9});
    Painter.LetEnd = true;
    ASSERT_TRUE(WaitUntil([&] { return Painter.Finished(); }));
    // Busy was left true by the request before; the panel's next Suspend then waited
    // for a thread that would never hold.
    EXPECT_FALSE(Painter.Busy());
    Painter.Suspend();
    Painter.StartPaint(Window, {0, 0, 9, 9});
    EXPECT_FALSE(Painter.Busy());
    Painter.Suspend();
    EXPECT_EQ(Painter.Painted.load(), 0);
}

TEST(SaverPaint, SuspendHoldsAtASafePointUntilResumed) {
    auto Window = TSurfaceWindow::Create(10, 10);
    TPainter<TGatedPaint> Painter;
    Painter.Suspend(); // idle: returns at once
    Painter.StartPaint(Window, {0, 0, 9, 9});
    ASSERT_TRUE(WaitUntil([&] { return Painter.Cycles > 0; }));
    Painter.Suspend();
    const int Held = Painter.Cycles;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(Painter.Cycles.load(), Held);
    EXPECT_TRUE(Painter.Busy());
    Painter.Resume();
    ASSERT_TRUE(WaitUntil([&] { return Painter.Cycles > Held; }));
    Painter.Open = true;
    ASSERT_TRUE(WaitUntil([&] { return !Painter.Busy(); }));
}

TEST(SaverPaint, SuspendThatMissesTheLastSafePointLapses) {
    // A paint with no safe point at all: Suspend returns when it ends, and the next
    // paint is not held although nobody called Resume.
    auto Window = TSurfaceWindow::Create(10, 10);
    TPainter<TGatedPaint> Painter;
    Painter.Open = true;
    for (int i = 0; i < 200; ++i) {
        Painter.StartPaint(Window, {0, 0, 9, 9});
        Painter.Suspend();
        ASSERT_TRUE(WaitUntil([&] { return !Painter.Busy(); }));
    }
    Painter.Open = false;
    Painter.StartPaint(Window, {0, 0, 9, 9});
    const int Before = Painter.Cycles;
    EXPECT_TRUE(WaitUntil([&] { return Painter.Cycles > Before + 10; }));
    Painter.Open = true;
}

TEST(SaverPaint, EveryAcceptedRequestLeadsToExactlyOnePaint) {
    // Requests as fast as a polling loop can make them: none may be lost in the gap
    // between Busy turning false and the thread parking, none may start a second paint.
    auto Window = TSurfaceWindow::Create(4, 4);
    TPainter<TTestFunctionPaint> Painter;
    Painter.InitialStep = 1;
    int Accepted = 0;
    const auto End = std::chrono::steady_clock::now() + 300ms;
    while (std::chrono::steady_clock::now() < End) {
        if (!Painter.Busy()) {
            Painter.StartPaint(Window, AreaOf(4, 4));
            ++Accepted;
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return !Painter.Busy(); }));
    EXPECT_GT(Accepted, 10);
    EXPECT_EQ(Painter.PaintCount.load(), Accepted);
}

TEST(SaverPaint, DestroyingABusyPainterStopsItPromptly) {
    auto Window = TSurfaceWindow::Create(400, 400);
    const auto Start = std::chrono::steady_clock::now();
    {
        TPainter<TMandelPaint> Painter;
        Painter.MaxAge = 1 << 30; // would run for hours
        // At the cusp of the cardioid orbits neither escape soon nor settle into an exact
        // cycle, so even the accelerated schedule has hours of work here.
        Painter.SetView(0.25L, 0, 1e-15L);
        Painter.StartPaint(Window, AreaOf(400, 400));
        std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(Painter.Busy());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - Start, 2s);
}

TEST(SaverPaint, TwoPaintersDoNotInterfere) {
    const auto PaintAlone = [](TMandelPaint& P, const HWND& W) {
        P.MaxAge = 300;
        P.ShowZoomFrame = false; // its outline depends on the shared generator
        P.SetView(-0.75L, 0.1L, 0.3L);
        TPaintWaiter(P).Paint(W, AreaOf(90, 70));
    };
    auto SoloWindow = TSurfaceWindow::Create(90, 70);
    TPainter<TMandelPaint> Solo;
    PaintAlone(Solo, SoloWindow);

    auto WindowA = TSurfaceWindow::Create(90, 70), WindowB = TSurfaceWindow::Create(90, 70);
    TPainter<TMandelPaint> A, B;
    std::thread Other([&] { PaintAlone(B, WindowB); });
    PaintAlone(A, WindowA);
    Other.join();
    EXPECT_EQ(A.Values, Solo.Values);
    EXPECT_EQ(B.Values, Solo.Values);
    for (int X = 0; X < 90; ++X)
        for (int Y = 0; Y < 70; ++Y)
            ASSERT_EQ(WindowA->Surface()->Pixel(X, Y), SoloWindow->Surface()->Pixel(X, Y));
}

} // namespace
