#include "PanelTestSupport.h"
#include "tests/host/HostTestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {
// Test panels stay under this many device pixels high: from 96 lines on, Qt's raster
// engine fills in parallel on its own pooled threads, which ThreadSanitizer (not seeing
// inside the uninstrumented Qt) reports as races.
constexpr int MaxPanelHeight = 95;
// Not a palette colour (those have at most the channels of one base colour lit here)
// and not black, which the painter uses for points inside the set.
constexpr TColour Background = 0x345678;
// Generous bounds for the slowest (sanitizer) builds; only a hang fails them.
constexpr int PaintTimeoutMs = 120000;
constexpr int IdleTimeoutMs = 30000;
// Fast views: few iterations, so a frame is finished in milliseconds.
constexpr std::int32_t QuickMaxAge = 50;
// A view that will not finish during the test: points inside the set iterate this long.
constexpr std::int32_t EndlessMaxAge = 1000000000;

void QuickOptions(TFractalPanel& Panel) {
    Panel.SetFractalOptions(8, QuickMaxAge, TMandelPaint::DefaultDistanceLimit, false);
}

// A panel on screen with one frame, whose view will not be finished during the test.
void ShowEndlessView(TFractalPanel& Panel) {
    Panel.SetBackground(Background);
    Panel.resize(200, MaxPanelHeight);
    Panel.show();
    RunEventsUntil([] { return false; }, 50);
    Panel.AddScan(1, 1);
    Panel.SetFractalOptions(32, EndlessMaxAge, TMandelPaint::DefaultDistanceLimit, false);
}

struct TStart {
    const TWindow* Window;
    std::int32_t Left, Top;
    bool operator==(const TStart&) const = default;
};

// Drives the rotation tick by tick, waiting for each view without running the event
// loop, and records where the painter was started.
std::vector<TStart> Rotate(TFractalPanel& Panel, int Ticks) {
    std::vector<TStart> Starts;
    for (int i = 0; i < Ticks; ++i) {
        if (!WaitIdle(*Panel.Painter(), IdleTimeoutMs))
            break;
        Panel.TimerTick();
        const TMandelPaint& P = *Panel.Painter();
        Starts.push_back({P.Window().get(), P.Left(), P.Top()});
    }
    return Starts;
}
} // namespace

TEST(FractalPanelRun, ActivationCreatesOnePainterAndDeactivationFreesIt) {
    TFractalPanel Panel;
    EXPECT_FALSE(Panel.Active());
    EXPECT_EQ(Panel.Painter(), nullptr);
    EXPECT_EQ(Panel.Timer().interval(), TFractalPanel::TimerInterval);
    EXPECT_FALSE(Panel.Timer().isActive());

    Panel.SetActive(true);
    TMandelPaint* First = Panel.Painter();
    ASSERT_NE(First, nullptr);
    Panel.SetActive(true);
    EXPECT_EQ(Panel.Painter(), First);
    EXPECT_TRUE(Panel.Active());
    EXPECT_TRUE(Panel.Timer().isActive());
    EXPECT_FALSE(First->Busy()); // parked until a tick hands it a frame
    EXPECT_EQ(First->CentreX, 0.0L);
    EXPECT_EQ(First->CentreY, 0.0L);
    EXPECT_EQ(First->Radius, 4.0L);
    EXPECT_FALSE(First->ShowZoomFrame);

    Panel.SetActive(false);
    EXPECT_EQ(Panel.Painter(), nullptr);
    EXPECT_FALSE(Panel.Timer().isActive());
    Panel.SetActive(false);
    EXPECT_FALSE(Panel.Active());
}

TEST(FractalPanelRun, SetColoursReachesARunningPainterOnlyWithTheFractalOptions) {
    TFractalPanel Panel;
    Panel.SetColours({0xFF00FF, 0xFFFF00, 0x00FFFF}, true, 32);
    Panel.SetActive(true);
    const std::vector<TColour> Before = Panel.Painter()->Colours;
    ASSERT_EQ(Before.size(), 96u);
    Panel.SetColours({0xFFFFFF}, false, 4);
    EXPECT_EQ(Panel.Painter()->Colours, Before);
    Panel.SetFractalOptions(16, 700, 4.0L, true);
    EXPECT_EQ(Panel.Painter()->Colours,
              (std::vector<TColour>{0xFFFFFF, 0xAAAAAA, 0xAAAAAA, 0xFFFFFF}));
    EXPECT_EQ(Panel.Painter()->MaxAge, 700);
    EXPECT_EQ(Panel.Painter()->InitialStep, 16);
    EXPECT_EQ(Panel.Painter()->DistanceLimit, 4.0L);
    EXPECT_TRUE(Panel.Painter()->HighlightCalculations);
    Panel.SetActive(false);
}

TEST(FractalPanelRun, LinkedPanelsAlternateAndEachWalksItsOwnFrames) {
    TFractalPanel A, B;
    A.resize(90, 20);
    B.resize(40, 20);
    A.AddScan(3, 1); // a0, a1, a2 at 0, 30, 60
    B.AddScan(2, 1); // b0, b1 at 0, 20
    A.LinkPanel(&B);
    QuickOptions(A);
    A.SetActive(true);
    const TWindow* WA = A.Handle().get();
    const TWindow* WB = B.Handle().get();
    const std::vector<TStart> Expected{{WA, 0, 0},  {WB, 0, 0}, {WA, 30, 0}, {WB, 20, 0},
                                       {WA, 60, 0}, {WB, 0, 0}, {WA, 0, 0},  {WB, 20, 0},
                                       {WA, 30, 0}, {WB, 0, 0}};
    EXPECT_EQ(Rotate(A, 10), Expected);
    EXPECT_FALSE(B.Active());
    EXPECT_EQ(B.Painter(), nullptr);

    // Linking anew restarts the rotation at the panel itself; the panels keep their
    // places in their own lists.
    TFractalPanel C;
    C.resize(20, 20);
    C.AddScan(1, 1);
    ASSERT_TRUE(WaitIdle(*A.Painter(), IdleTimeoutMs));
    A.LinkPanel(&C);
    EXPECT_EQ(Rotate(A, 3),
              (std::vector<TStart>{{WA, 60, 0}, {WB, 20, 0}, {C.Handle().get(), 0, 0}}));
    // A rebuilt list starts at its first frame.
    A.ClearFrames();
    A.AddScan(3, 1);
    EXPECT_EQ(Rotate(A, 1), (std::vector<TStart>{{WA, 0, 0}}));
    A.SetActive(false);
}

TEST(FractalPanelRun, PanelsWithoutFramesAreSkippedInTheSameTick) {
    TFractalPanel A, Empty, B;
    A.resize(8, 8); // too small for any frame
    A.AddScan(1, 1);
    B.resize(20, 20);
    B.AddScan(1, 1);
    A.LinkPanel(&Empty);
    QuickOptions(A);
    A.SetActive(true);
    // Nobody has a frame: nothing is painted, nothing fails, the index comes round.
    A.TimerTick();
    EXPECT_FALSE(A.Painter()->Busy());
    EXPECT_EQ(A.PanelIndex(), 0);
    EXPECT_EQ(A.Painter()->Window(), nullptr);

    A.LinkPanel(&B);
    {
        auto Gone = std::make_unique<TFractalPanel>();
        Gone->resize(20, 20);
        Gone->AddScan(1, 1);
        A.LinkPanel(Gone.get());
    } // destroyed while still linked: it drops out of the rotation
    const TStart AtB{B.Handle().get(), 0, 0};
    EXPECT_EQ(Rotate(A, 3), (std::vector<TStart>{AtB, AtB, AtB}));
    A.SetActive(false);
}

TEST(FractalPanelRun, PaintsEveryFrameOfItselfAndOfLinkedPanels) {
    TFractalPanel A, B;
    for (TFractalPanel* P : {&A, &B}) {
        P->SetBackground(Background);
        P->resize(120, 80);
        P->show();
    }
    A.AddScan(2, 2);
    B.AddSpiral(2, 1);
    A.LinkPanel(&B);
    A.SetColours({0x0000FF, 0x00FF00, 0xFF0000}, true, 16);
    QuickOptions(A);
    ASSERT_TRUE(RunEventsUntil([&] { return A.DeviceSize() == QSize(120, 80); }, 1000));
    EXPECT_EQ(CountPixels(A, Background), 120 * 80); // the background until painted

    A.SetActive(true);
    auto AllPainted = [&] {
        for (const TFractalPanel* P : {&A, &B})
            for (const auto& Frame : P->Frames())
                if (!FramePainted(*Frame, Background))
                    return false;
        return true;
    };
    EXPECT_TRUE(RunEventsUntil(AllPainted, PaintTimeoutMs));
    A.SetActive(false);
}

TEST(FractalPanelRun, DeactivationMidPaintReturnsPromptlyAndLeavesNoThread) {
    TFractalPanel Panel;
    ShowEndlessView(Panel);
    // ThreadSanitizer starts a helper thread at the first thread creation; let that
    // happen before counting.
    std::thread([] {}).join();
    const int ThreadsBefore = ThreadCount();

    Panel.SetActive(true);
    EXPECT_EQ(ThreadCount(), ThreadsBefore + 1);
    ASSERT_TRUE(RunEventsUntil([&] { return Panel.Painter()->Busy(); }, IdleTimeoutMs));
    // Some pixels drawn, many points still iterating.
    ASSERT_TRUE(RunEventsUntil(
        [&] { return CountPixels(Panel, Background) < 200 * MaxPanelHeight; }, PaintTimeoutMs));
    ASSERT_TRUE(Panel.Painter()->Busy());

    // Settings change while painting: the painter is held, changed and let go again.
    Panel.SetColours({0xFFFFFF}, false, 8);
    Panel.SetFractalOptions(32, EndlessMaxAge - 1, TMandelPaint::DefaultDistanceLimit, false);
    EXPECT_EQ(Panel.Painter()->Colours.size(), 8u);
    EXPECT_TRUE(Panel.Painter()->Busy());

    const auto Start = std::chrono::steady_clock::now();
    Panel.SetActive(false);
    const auto Elapsed = std::chrono::steady_clock::now() - Start;
    std::printf("deactivation mid-paint took %.3f ms\n",
                std::chrono::duration<double, std::milli>(Elapsed).count());
    EXPECT_EQ(Panel.Painter(), nullptr);
    EXPECT_EQ(ThreadCount(), ThreadsBefore);
    EXPECT_LT(Elapsed, std::chrono::seconds(10)); // a hang guard, not a speed test
}

TEST(FractalPanelRun, NobodySeeingItThePainterRestsMidViewThroughASettingsChange) {
    TFractalPanel Panel;
    ShowEndlessView(Panel);
    Panel.SetActive(true);
    ASSERT_TRUE(RunEventsUntil([&] { return Panel.Painter()->Busy(); }, IdleTimeoutMs));
    TMandelPaint* Painter = Panel.Painter();
    TPainterWatch Watch(getpid());
    ASSERT_TRUE(Watch.Works(std::chrono::milliseconds(IdleTimeoutMs)));

    Panel.SetSeen(false);
    EXPECT_TRUE(Panel.Resting());
    EXPECT_FALSE(Panel.Timer().isActive());
    // Settings change while it rests: changed, and still held.
    Panel.SetFractalOptions(32, EndlessMaxAge - 1, TMandelPaint::DefaultDistanceLimit, false);
    EXPECT_EQ(Painter->MaxAge, EndlessMaxAge - 1);
    EXPECT_TRUE(Watch.Rests(TPainterWatch::Quiet * 2));

    Panel.SetSeen(true);
    EXPECT_FALSE(Panel.Resting());
    EXPECT_TRUE(Panel.Timer().isActive());
    EXPECT_TRUE(Watch.Works());
    // The same painter on the same view, not a new one from the overview.
    EXPECT_EQ(Panel.Painter(), Painter);
    EXPECT_TRUE(Painter->Busy());
}

TEST(FractalPanelRun, TwoActivePanelsPaintOnlyTheirOwnWindows) {
    TFractalPanel A, B;
    for (TFractalPanel* P : {&A, &B}) {
        P->SetBackground(Background);
        P->resize(100, 60);
        P->show();
        QuickOptions(*P);
    }
    RunEventsUntil([] { return false; }, 50);
    A.AddScan(1, 1);
    B.AddFrame(0, 0, 50, 60); // the right half of B is no frame of anybody
    A.SetActive(true);
    B.SetActive(true);
    ASSERT_NE(A.Painter(), B.Painter());
    EXPECT_TRUE(RunEventsUntil(
        [&] {
            return FramePainted(*A.Frames()[0], Background) &&
                   FramePainted(*B.Frames()[0], Background);
        },
        PaintTimeoutMs));

    // Stopping one leaves the other painting.
    A.SetActive(false);
    B.SetColours({0xFFFFFF}, true, 4);
    B.SetFractalOptions(8, QuickMaxAge, TMandelPaint::DefaultDistanceLimit, false);
    EXPECT_TRUE(B.Active());
    const auto Painted = B.SurfaceWindow()->Surface();
    auto WhiteSeen = [&] {
        for (int Y = 0; Y < 60; ++Y)
            for (int X = 0; X < 50; ++X)
                if (Painted->Pixel(X, Y) == 0xFFFFFF)
                    return true;
        return false;
    };
    EXPECT_TRUE(RunEventsUntil(WhiteSeen, PaintTimeoutMs));
    B.SetActive(false);
    // Frames end one column before the right half; the painter covers one more.
    for (int Y = 0; Y < 60; ++Y)
        for (int X = 51; X < 100; ++X)
            ASSERT_EQ(Painted->Pixel(X, Y), Background) << X << "," << Y;
}

// On a scaled display the frames and the painter work in device pixels. The scale is
// fixed when the application starts, so the check runs in a child of this program.
TEST(FractalPanelRun, ScaledDisplayPaintsAtDeviceResolution) {
    constexpr int LogicalWidth = 60, LogicalHeight = 40, Scale = 2;
    if (qEnvironmentVariableIsEmpty("YSTRELO_SCALED_CHILD")) {
        QProcess Child;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("YSTRELO_SCALED_CHILD", "1");
        Env.insert("QT_SCALE_FACTOR", QString::number(Scale));
        Child.setProcessEnvironment(Env);
        Child.setProcessChannelMode(QProcess::ForwardedChannels);
        Child.start("/proc/self/exe",
                    {"--gtest_filter=FractalPanelRun.ScaledDisplayPaintsAtDeviceResolution"});
        ASSERT_TRUE(Child.waitForFinished(PaintTimeoutMs));
        EXPECT_EQ(Child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(Child.exitCode(), 0);
        return;
    }
    TFractalPanel Panel;
    Panel.SetBackground(Background);
    Panel.resize(LogicalWidth, LogicalHeight);
    Panel.show();
    ASSERT_EQ(Panel.devicePixelRatioF(), Scale);
    const QSize Device(LogicalWidth * Scale, LogicalHeight * Scale);
    ASSERT_TRUE(RunEventsUntil([&] { return Panel.DeviceSize() == Device; }, 1000));
    Panel.AddScan(1, 1);
    ASSERT_EQ(Panel.FrameCount(), 1);
    EXPECT_EQ(Panel.Frames()[0]->Width, Device.width());
    EXPECT_EQ(Panel.Frames()[0]->Height, Device.height());
    QuickOptions(Panel);
    Panel.SetActive(true);
    EXPECT_TRUE(RunEventsUntil([&] { return FramePainted(*Panel.Frames()[0], Background); },
                               PaintTimeoutMs));
    Panel.SetActive(false);
    EXPECT_EQ(Panel.SurfaceWindow()->Surface()->Width(), Device.width());
}
