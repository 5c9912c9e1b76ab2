#include "tests/host/HostTestSupport.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int HostWidth = 160;
constexpr int HostHeight = 120;
constexpr std::uint32_t HostBackground = 0x3060C0; // no grey: the painter's defaults are
constexpr auto PaintTimeout = 30s;                 // generous for sanitizer builds
constexpr auto EndTimeout = 15s;
constexpr auto RestTimeout = 10s;

std::string Hex(std::uint32_t Window) {
    char Text[16];
    std::snprintf(Text, sizeof Text, "0x%X", Window);
    return Text;
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FXvfb.Started()) << "Xvfb did not start";
        FClient = std::make_unique<TX11Client>(FXvfb.Display());
    }

    xcb_window_t NewHost(xcb_window_t Parent = 0, bool Mapped = true) {
        const xcb_window_t Host = FClient->CreateWindow(Parent ? Parent : FClient->Root(),
                                                        HostWidth, HostHeight, HostBackground);
        if (Mapped)
            FClient->Map(Host);
        return Host;
    }

    // Preview mode needs neither a home folder nor a session: hosts such as screen-saver
    // daemons may give it neither.
    std::unique_ptr<TChild> StartPreview(const std::string& Handle) {
        return std::make_unique<TChild>(
            std::vector<std::string>{YstreloBinary(), "/p", Handle},
            std::vector<std::string>{"DISPLAY=" + FXvfb.Display(),
                                     "XDG_RUNTIME_DIR=" + FRuntime.Path(),
                                     "XDG_CONFIG_HOME=" + FConfig.Path()},
            std::vector<std::string>{"HOME"});
    }

    TRunResult RunPreview(const std::string& Handle) {
        return RunYstrelo({"/p", Handle},
                          {"DISPLAY=" + FXvfb.Display(), "XDG_RUNTIME_DIR=" + FRuntime.Path(),
                           "XDG_CONFIG_HOME=" + FConfig.Path()});
    }

    bool FractalShown(xcb_window_t Host) {
        return ::FractalShown(*FClient, Host, HostWidth, HostHeight, HostBackground);
    }

    bool BackgroundOnly(xcb_window_t Host) {
        const auto Pixels = FClient->Pixels(Host, HostWidth, HostHeight);
        for (auto P : Pixels)
            if (P != HostBackground)
                return false;
        return !Pixels.empty();
    }

    static void ExpectCleanEnd(TChild& Child) {
        const auto Status = Child.Wait(EndTimeout);
        ASSERT_TRUE(Status.has_value()) << "the preview did not end";
        EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0) << "status " << *Status;
        EXPECT_EQ(Child.Stderr(), "");
    }

    TXvfb FXvfb;
    TTempDir FRuntime;
    TTempDir FConfig;
    std::unique_ptr<TX11Client> FClient;
};
} // namespace

TEST_F(Preview, PaintsTheHostWindowAndEndsWhenItIsHidden) {
    const xcb_window_t Host = NewHost();
    auto Child = StartPreview(Hex(Host));
    ASSERT_TRUE(WaitUntil([&] { return FractalShown(Host) || !Child->Running(); }, PaintTimeout));
    ASSERT_TRUE(Child->Running()) << Child->Stderr();
    ASSERT_TRUE(FractalShown(Host));

    // The main thread only waits while the painter works; measure its share of a core.
    const long TicksPerSecond = sysconf(_SC_CLK_TCK);
    const auto Start = std::chrono::steady_clock::now();
    const long MainBefore = ThreadTicks(Child->Pid(), Child->Pid());
    std::this_thread::sleep_for(3s);
    const long MainAfter = ThreadTicks(Child->Pid(), Child->Pid());
    const double Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    const double Share = 100.0 * (MainAfter - MainBefore) / TicksPerSecond / Seconds;
    std::printf("[ figure ] preview main thread: %.2f %% of one core over %.1f s\n", Share,
                Seconds);
    RecordProperty("MainThreadCpuPercent", std::to_string(Share));

    // A second instance, even for the same window, ends at once and says nothing.
    const TRunResult Second = RunPreview(Hex(Host));
    EXPECT_TRUE(Second.ExitedWith(0));
    EXPECT_EQ(Second.Stderr, "");

    FClient->Unmap(Host);
    ExpectCleanEnd(*Child);
}

TEST_F(Preview, ThePainterRestsWhileAnotherWindowCoversThePreview) {
    const xcb_window_t Host = NewHost();
    auto Child = StartPreview(Hex(Host));
    ASSERT_TRUE(WaitUntil([&] { return FractalShown(Host); }, PaintTimeout)) << Child->Stderr();
    // Another window of the settings program, over the preview pane.
    const xcb_window_t Cover = FClient->CreateWindow(FClient->Root(), HostWidth, HostHeight, 0, true);
    TPainterWatch(Child->Pid())
        .ExpectRestWhileHidden([&] { FClient->Map(Cover); }, [&] { FClient->Unmap(Cover); },
                               PaintTimeout, RestTimeout);
    Child->Signal(SIGTERM);
    ExpectCleanEnd(*Child);
}

TEST_F(Preview, EndsWhenTheHostDestroysItsWindow) {
    const xcb_window_t Host = NewHost();
    auto Child = StartPreview(std::to_string(Host));
    ASSERT_TRUE(WaitUntil([&] { return FractalShown(Host) || !Child->Running(); }, PaintTimeout));
    FClient->Destroy(Host);
    ExpectCleanEnd(*Child);
}

TEST_F(Preview, EndsCleanlyOnTheSignalsHostsStopSaversWith) {
    for (int Signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(Signal));
        const xcb_window_t Host = NewHost();
        auto Child = StartPreview(Hex(Host));
        ASSERT_TRUE(
            WaitUntil([&] { return FractalShown(Host) || !Child->Running(); }, PaintTimeout));
        Child->Signal(Signal);
        // Some hosts destroy the window right after the signal.
        std::this_thread::sleep_for(5ms);
        FClient->Destroy(Host);
        ExpectCleanEnd(*Child);
    }
}

TEST_F(Preview, WaitsUntilTheWindowIsViewableAndWatchesItsAncestors) {
    // The host window is mapped, but inside a frame that is not: it is not viewable yet.
    const xcb_window_t Frame = FClient->CreateWindow(FClient->Root(), HostWidth, HostHeight, 0);
    const xcb_window_t Host = NewHost(Frame);
    auto Child = StartPreview(Hex(Host));
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(Child->Running()) << Child->Stderr();
    FClient->Map(Frame);
    ASSERT_TRUE(WaitUntil([&] { return FractalShown(Host) || !Child->Running(); }, PaintTimeout));
    EXPECT_TRUE(Child->Running());
    // Hiding the frame hides the host window without touching it.
    FClient->Unmap(Frame);
    ExpectCleanEnd(*Child);
}

TEST_F(Preview, AKilledPreviewLeavesNeitherItsWindowNorTheGuardBehind) {
    const xcb_window_t Host = NewHost();
    auto First = StartPreview(Hex(Host));
    ASSERT_TRUE(WaitUntil([&] { return FractalShown(Host) || !First->Running(); }, PaintTimeout));
    First->Signal(SIGKILL);
    ASSERT_TRUE(First->Wait(EndTimeout).has_value());
    // The server removes our window with the connection: the host shows its own again.
    EXPECT_TRUE(WaitUntil([&] { return BackgroundOnly(Host); }, EndTimeout));

    auto Second = StartPreview(Hex(Host));
    EXPECT_TRUE(WaitUntil([&] { return FractalShown(Host) || !Second->Running(); }, PaintTimeout));
    EXPECT_TRUE(Second->Running()) << "the guard of the killed preview still held";
    FClient->Unmap(Host);
    ExpectCleanEnd(*Second);
}

TEST_F(Preview, AHandleThatNamesNoWindowFailsWithAMessage) {
    const xcb_window_t Gone = NewHost();
    FClient->Destroy(Gone);
    for (const std::string& Handle : {Hex(Gone), std::string("0"), std::string("4294967295")}) {
        SCOPED_TRACE(Handle);
        const TRunResult Result = RunPreview(Handle);
        EXPECT_FALSE(Result.ExitedWith(0));
        EXPECT_TRUE(WIFEXITED(Result.Status)) << "crashed: " << Result.Status;
        EXPECT_NE(Result.Stderr.find("no window"), std::string::npos) << Result.Stderr;
        EXPECT_EQ(Result.Stderr.find('\n'), Result.Stderr.size() - 1) << Result.Stderr;
    }
    // Without any display the preview cannot start either, and says so.
    const TRunResult NoDisplay =
        RunYstrelo({"/p", "1234"}, {"DISPLAY=", "XDG_RUNTIME_DIR=" + FRuntime.Path()});
    EXPECT_FALSE(NoDisplay.ExitedWith(0));
    EXPECT_NE(NoDisplay.Stderr, "");
    // Nor can the windowed modes: one line, exit 1, no abort inside the toolkit.
    for (const char* Mode : {"/s", "/c"}) {
        const TRunResult Windowed =
            RunYstrelo({Mode}, {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
                                "XDG_RUNTIME_DIR=" + FRuntime.Path()});
        EXPECT_TRUE(Windowed.ExitedWith(1)) << Mode << " " << Windowed.Status;
        EXPECT_EQ(Windowed.Stderr, "ystrelo: cannot open a display: DISPLAY is not set\n");
    }
}
