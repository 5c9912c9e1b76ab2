// The saver and the idle watcher on KDE Plasma's compositor: Debian's KWin (5.27 on
// Debian 12, 6.3 on Debian 13), headless, two outputs side by side. KWin's scripting says
// where the windows are, its screenshots (where it offers them) what they show, and
// otherwise the saver's own protocol trace shows its pixels reaching KWin.
#include "tests/wayland/KWin.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <regex>
#include <set>

namespace {
constexpr int Width = TKWin::OutputWidth;
constexpr int Height = TKWin::OutputHeight;
constexpr const char* IdleAfter = "2s";
constexpr auto IdleTime = 2s;
constexpr auto ShowWithin = 20s;
constexpr auto EndWithin = 5s;
// Two idle periods and then some: long enough for a saver that should not start to show.
constexpr auto HeldOffFor = 5s;
constexpr std::size_t FractalShades = 8;

using TClock = std::chrono::steady_clock;

long long Milliseconds(TClock::duration Duration) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Duration).count();
}

// The sub-surfaces a WAYLAND_DEBUG trace shows new pixels sent to: their surfaces as
// get_subsurface made them, damaged and committed. libwayland 1.21 writes "wl_surface@25",
// 1.23 "wl_surface#25".
std::size_t SurfacesPainted(const std::string& Trace) {
    static const std::regex Made(R"(-> wl_subcompositor[@#]\d+\.get_subsurface\(new id )"
                                 R"(wl_subsurface[@#]\d+, wl_surface[@#](\d+),)");
    static const std::regex Damaged(R"(-> wl_surface[@#](\d+)\.damage_buffer\()");
    std::set<std::string> Children, Painted;
    for (auto It = std::sregex_iterator(Trace.begin(), Trace.end(), Made);
         It != std::sregex_iterator(); ++It)
        Children.insert((*It)[1]);
    for (auto It = std::sregex_iterator(Trace.begin(), Trace.end(), Damaged);
         It != std::sregex_iterator(); ++It)
        if (Children.count((*It)[1]))
            Painted.insert((*It)[1]);
    return Painted.size();
}

class KWin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!TKWin::Unavailable().empty())
            return;
        FKWin = new TKWin;
        FScreenshots = FKWin->Started() && FKWin->Screenshot().has_value();
    }
    static void TearDownTestSuite() {
        delete FKWin;
        FKWin = nullptr;
    }

    void SetUp() override {
        if (!FKWin)
            GTEST_SKIP() << TKWin::Unavailable();
        ASSERT_TRUE(FKWin->Started()) << FKWin->Error();
        FKWin->User().Write(".config/Ystrelo.ini",
                            std::string(RedAndBlueSettings) + SecondMonitorMatrix);
    }

    void TearDown() override {
        for (auto* Process : {&FSaver, &FWatcher})
            if (*Process && (*Process)->Running()) {
                (*Process)->Signal(SIGTERM);
                (*Process)->Wait(EndWithin);
            }
    }

    // Where KWin offers no screenshots the saver traces its protocol, so that the test sees
    // its pixels go out.
    static std::vector<std::string> Trace() {
        if (FScreenshots)
            return {};
        return {"WAYLAND_DEBUG=client"};
    }

    // The window titled Caption (Qt adds the application's name), full screen on Output.
    static bool FullScreenOn(const std::string& Caption, int Output) {
        for (const TKWinWindow& W : FKWin->Windows())
            if (W.Caption.rfind(Caption + " \u2014 ", 0) == 0)
                return W.FullScreen && W.X == Output * Width && W.Y == 0 && W.Width == Width &&
                       W.Height == Height;
        return false;
    }
    // The saver's primary window full screen on output Primary, the secondary on the other.
    void WaitForSaverOn(int Primary) {
        ASSERT_TRUE(WaitUntil(
            [&] {
                return !FSaver->Running() || (FullScreenOn("Primary", Primary) &&
                                              FullScreenOn("Secondary 1", 1 - Primary));
            },
            ShowWithin));
        ASSERT_TRUE(FSaver->Running()) << FSaver->Stderr();
    }
    static bool SaverShown() {
        for (const TKWinWindow& W : FKWin->Windows())
            if (W.Caption.rfind("Primary", 0) == 0)
                return true;
        return false;
    }
    // New pixels on every output: KWin's picture of each shows the zoom in the settings'
    // hues, or, where KWin takes no pictures, the saver's trace shows a sub-surface of
    // each window painted.
    static bool PaintingEveryOutput(const TChild& Traced) {
        if (const auto Shot = FScreenshots ? FKWin->Screenshot() : std::nullopt) {
            for (int Output = 0; Output < TKWin::Outputs; ++Output)
                if (!ZoomInUserHues(Shot->Part(Output * Width, 0, Width, Height).Pixels))
                    return false;
            return true;
        }
        return SurfacesPainted(Traced.Stderr()) == TKWin::Outputs;
    }
    // Any new pixels of the saver.
    static bool PaintingAny(const TChild& Traced) {
        if (const auto Shot = FScreenshots ? FKWin->Screenshot() : std::nullopt)
            return Shot->Colours() >= FractalShades;
        return SurfacesPainted(Traced.Stderr()) > 0;
    }

    static TKWin* FKWin;
    static bool FScreenshots;
    std::unique_ptr<TChild> FSaver;
    std::unique_ptr<TChild> FWatcher;
};
TKWin* KWin::FKWin = nullptr;
bool KWin::FScreenshots = false;

TEST_F(KWin, TheSaverPaintsEveryOutputAndEndsWhenAsked) {
    FSaver = FKWin->Start({YstreloBinary(), "/s"}, Trace());
    WaitForSaverOn(0);
    EXPECT_TRUE(WaitUntil([&] { return PaintingEveryOutput(*FSaver); }, ShowWithin));
    FSaver->Signal(SIGTERM);
    EXPECT_TRUE(ExitedWith(FSaver->Wait(EndWithin), 0)) << FSaver->Stderr();
    if (FScreenshots) {
        EXPECT_EQ(FSaver->Stderr(), "");
    }
}

TEST_F(KWin, MonitorZeroIsTheOutputKDEPutsFirst) {
    ASSERT_TRUE(FKWin->MakePrimary(TKWin::Output(1)));
    FSaver = FKWin->Start({YstreloBinary(), "/s"});
    WaitForSaverOn(1);
    FSaver->Signal(SIGTERM);
    EXPECT_TRUE(ExitedWith(FSaver->Wait(EndWithin), 0)) << FSaver->Stderr();
    ASSERT_TRUE(FKWin->MakePrimary(TKWin::Output(0)));
}

TEST_F(KWin, TheWatcherStartsTheSaverWhenLeftAloneAndMotionEndsIt) {
    FWatcher = FKWin->Start({YstreloBinary(), "--idle", IdleAfter}, Trace());
    // KWin's countdown starts again with the last input.
    FKWin->MovePointer(100, 100);
    const auto IdleFrom = TClock::now() + IdleTime;
    ASSERT_TRUE(
        WaitUntil([&] { return !FWatcher->Running() || PaintingAny(*FWatcher); }, ShowWithin));
    const auto Painted = TClock::now();
    ASSERT_TRUE(FWatcher->Running()) << FWatcher->Stderr().substr(0, 2000);
    EXPECT_GE(Painted, IdleFrom);
    std::printf("[ figure ] KWin %s: idle moment to the saver's first pixels %lld ms (%s)\n",
                FKWin->Version().c_str(), Milliseconds(Painted - IdleFrom),
                FScreenshots ? "KWin's screenshots" : "the saver's commits");

    // The saver's first move only records where the pointer was.
    FKWin->MovePointer(200, 150);
    FKWin->MovePointer(300, 200);
    EXPECT_TRUE(WaitUntil([&] { return !SaverShown(); }, EndWithin));
    FWatcher->Signal(SIGTERM);
    EXPECT_TRUE(ExitedWith(FWatcher->Wait(EndWithin), 0));
}

TEST_F(KWin, AWindowThatHoldsTheDesktopAwakeHoldsTheSaverOff) {
    const std::size_t Before = FKWin->Windows().size();
    auto Inhibitor = FKWin->Start({YSTRELO_WAYLAND_INHIBITOR});
    ASSERT_TRUE(WaitUntil([&] { return !Inhibitor->Running() || FKWin->Windows().size() > Before; },
                          ShowWithin));
    ASSERT_TRUE(Inhibitor->Running()) << Inhibitor->Stderr();
    FWatcher = FKWin->Start({YstreloBinary(), "--idle", IdleAfter});
    EXPECT_FALSE(WaitUntil([&] { return SaverShown(); }, HeldOffFor));
    Inhibitor.reset();
    EXPECT_TRUE(WaitUntil([&] { return SaverShown(); }, ShowWithin)) << FWatcher->Stderr();
}
} // namespace
