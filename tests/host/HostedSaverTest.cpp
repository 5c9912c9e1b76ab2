// The saver inside a window that a screen-saver host made (XSCREENSAVER_WINDOW), started
// directly as the host would: the window of our own making plays the host's, here also
// the small preview pane of a settings program.
#include "tests/host/HostTestSupport.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {
constexpr int PaneWidth = 200;
constexpr int PaneHeight = 150;
constexpr std::uint32_t HostBackground = 0x3060C0;
constexpr auto PaintTimeout = 30s;
constexpr auto EndTimeout = 15s;
constexpr auto RestTimeout = 10s;
// "Promptly", generous for sanitizer builds on a loaded machine; the figure is printed.
constexpr auto PromptEnd = 3s;
constexpr auto SettleTime = 500ms;
constexpr std::size_t FractalShades = 8;
constexpr std::uint32_t Black = 0;

// Red only, no highlighting; the primary monitor shows a matrix of 2 x 2 frames.
constexpr const char* Settings = "[TWinControlForm]\n"
                                 "ckRed.Checked=True\n"
                                 "ckMagenta.Checked=False\n"
                                 "ckAqua.Checked=False\n"
                                 "ckYellow.Checked=False\n"
                                 "ckHighlightCalculations.Checked=False\n"
                                 "rgMaxAge.ItemIndex=2\n"
                                 "[Monitor-0]\n"
                                 "ckScan.Checked=True\n"
                                 "spWide.Position=2\n"
                                 "spHigh.Position=2\n";

std::string Hex(std::uint32_t Window) {
    char Text[16];
    std::snprintf(Text, sizeof Text, "0x%X", Window);
    return Text;
}

class HostedSaver : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef __SANITIZE_THREAD__
        GTEST_SKIP() << "the program on an X server is not run under ThreadSanitizer";
#endif
        ASSERT_TRUE(FXvfb.Started()) << "Xvfb did not start";
        FClient = std::make_unique<TX11Client>(FXvfb.Display());
        std::ofstream(SettingsFile()) << Settings;
    }

    std::string SettingsFile() const {
        return FConfig.Path() + "/Ystrelo.ini";
    }
    std::vector<std::string> Environment(const std::string& Window) const {
        return {"DISPLAY=" + FXvfb.Display(), "XDG_RUNTIME_DIR=" + FRuntime.Path(),
                "XDG_CONFIG_HOME=" + FConfig.Path(), "XSCREENSAVER_WINDOW=" + Window};
    }
    std::unique_ptr<TChild> Start(const std::string& Window,
                                  const std::vector<std::string>& Arguments = {"-s"}) {
        std::vector<std::string> Argv{YstreloBinary()};
        Argv.insert(Argv.end(), Arguments.begin(), Arguments.end());
        // The tests run headless; the program must use the test server.
        return std::make_unique<TChild>(Argv, Environment(Window),
                                        std::vector<std::string>{"QT_QPA_PLATFORM"});
    }

    // The settings program's dialog with its preview pane inside.
    xcb_window_t NewPane() {
        const xcb_window_t Dialog = FClient->CreateWindow(FClient->Root(), 400, 300, 0xE0E0E0);
        const xcb_window_t Pane =
            FClient->CreateWindow(Dialog, PaneWidth, PaneHeight, HostBackground);
        FClient->Map(Pane);
        FClient->Map(Dialog);
        return Pane;
    }

    std::vector<std::uint32_t> Pixels(xcb_window_t Pane) {
        return FClient->Pixels(Pane, PaneWidth, PaneHeight);
    }
    bool FractalShown(xcb_window_t Pane) {
        const auto P = Pixels(Pane);
        return std::set<std::uint32_t>(P.begin(), P.end()).size() >= FractalShades;
    }
    void WaitForFractal(TChild& Saver, xcb_window_t Pane) {
        ASSERT_TRUE(
            WaitUntil([&] { return FractalShown(Pane) || !Saver.Running(); }, PaintTimeout));
        ASSERT_TRUE(Saver.Running()) << Saver.Stderr();
    }

    static void ExpectCleanEnd(TChild& Saver, std::chrono::milliseconds Within = EndTimeout) {
        const auto Start = std::chrono::steady_clock::now();
        const auto Status = Saver.Wait(Within);
        ASSERT_TRUE(Status.has_value()) << "still running";
        std::printf("[ figure ] end after %lld ms\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - Start)
                                               .count()));
        EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0) << "status " << *Status;
        EXPECT_EQ(Saver.Stderr(), "");
    }

    TXvfb FXvfb;
    TTempDir FRuntime;
    TTempDir FConfig;
    std::unique_ptr<TX11Client> FClient;
};
} // namespace

TEST_F(HostedSaver, PaintsThePaneWithTheLayoutOfItsMonitorAndOnlyReadsTheSettings) {
    struct stat Before {};
    ASSERT_EQ(stat(SettingsFile().c_str(), &Before), 0);
    const xcb_window_t Pane = NewPane();
    auto Saver = Start(Hex(Pane));

    // The first view fills the top-left frame of the 2 x 2 matrix laid over the pane's
    // own size, in shades of red.
    std::vector<std::uint32_t> First;
    ASSERT_TRUE(WaitUntil(
        [&] {
            First = Pixels(Pane);
            return std::count(First.begin(), First.end(), HostBackground) < PaneWidth;
        },
        PaintTimeout))
        << Saver->Stderr();
    bool OnlyInFirstFrame = true;
    for (int Y = 0; Y < PaneHeight; ++Y)
        for (int X = 0; X < PaneWidth; ++X) {
            const std::uint32_t P = First[static_cast<std::size_t>(Y) * PaneWidth + X];
            if ((X > PaneWidth / 2 || Y > PaneHeight / 2) && P != Black && P != HostBackground)
                OnlyInFirstFrame = false;
        }
    EXPECT_TRUE(OnlyInFirstFrame);
    WaitForFractal(*Saver, Pane);
    for (const std::uint32_t P : Pixels(Pane))
        ASSERT_TRUE((P & 0x00FFFF) == 0 || P == HostBackground) << std::hex << P;

    // Mouse and keys are the host's.
    RunCommand(FXvfb.Display(), "xdotool mousemove 20 20 mousemove 180 120 key a");
    std::this_thread::sleep_for(SettleTime);
    EXPECT_TRUE(Saver->Running());

    Saver->Signal(SIGTERM);
    ExpectCleanEnd(*Saver, PromptEnd);
    // Nothing of ours is left on the host's window.
    EXPECT_NE(RunCommand(FXvfb.Display(), "xwininfo -children -id " + Hex(Pane)).find("0 children"),
              std::string::npos);
    struct stat After {};
    ASSERT_EQ(stat(SettingsFile().c_str(), &After), 0);
    EXPECT_EQ(ReadFile(SettingsFile()), Settings);
    EXPECT_EQ(After.st_mtim.tv_nsec, Before.st_mtim.tv_nsec);
    EXPECT_EQ(After.st_mtim.tv_sec, Before.st_mtim.tv_sec);
}

TEST_F(HostedSaver, EndsWhenTheHostHidesOrDestroysItsWindow) {
    for (const bool Destroy : {false, true}) {
        SCOPED_TRACE(Destroy ? "destroyed" : "unmapped");
        const xcb_window_t Pane = NewPane();
        auto Saver = Start(Hex(Pane));
        WaitForFractal(*Saver, Pane);
        if (Destroy)
            FClient->Destroy(Pane);
        else
            FClient->Unmap(Pane);
        ExpectCleanEnd(*Saver, PromptEnd);
    }
}

TEST_F(HostedSaver, ThePainterRestsWhileTheServersScreenSaverBlanksTheScreen) {
    const xcb_window_t Pane = NewPane();
    auto Saver = Start(Hex(Pane));
    WaitForFractal(*Saver, Pane);
    TPainterWatch(Saver->Pid())
        .ExpectRestWhileHidden([&] { RunCommand(FXvfb.Display(), "xset s activate"); },
                               [&] { RunCommand(FXvfb.Display(), "xset s reset"); },
                               PaintTimeout, RestTimeout);
    Saver->Signal(SIGTERM);
    ExpectCleanEnd(*Saver);
}

TEST_F(HostedSaver, OneCopyPerWindowAndAClearLineForAWindowThatIsNone) {
    const xcb_window_t Pane = NewPane();
    auto Saver = Start(std::to_string(Pane)); // hosts may write it in decimal too
    WaitForFractal(*Saver, Pane);
    auto Second = Start(Hex(Pane));
    ExpectCleanEnd(*Second);
    EXPECT_TRUE(Saver->Running());

    // Beside a copy in a host's window, the saver with windows of its own and the dialog
    // end at once and quietly.
    for (const char* Mode : {"/s", "/c"}) {
        auto Env = Environment("");
        Env.push_back("QT_QPA_PLATFORM=xcb");
        const TRunResult Other = RunYstrelo({Mode}, Env, EndTimeout);
        EXPECT_TRUE(Other.ExitedWith(0)) << Mode << ": " << Other.Stderr;
        EXPECT_EQ(Other.Stderr, "");
    }
    Saver->Signal(SIGTERM);
    ExpectCleanEnd(*Saver);

    const xcb_window_t Gone = NewPane();
    FClient->Destroy(Gone);
    for (const std::string& Bad : {std::string("garbage"), std::string("0x"), Hex(Gone)}) {
        SCOPED_TRACE(Bad);
        const TRunResult Result = RunYstrelo({"-s"}, Environment(Bad), EndTimeout);
        EXPECT_TRUE(Result.ExitedWith(1)) << Result.Status;
        EXPECT_EQ(std::count(Result.Stderr.begin(), Result.Stderr.end(), '\n'), 1) << Result.Stderr;
        EXPECT_EQ(Result.Stderr.rfind("ystrelo: ", 0), 0u) << Result.Stderr;
    }
}

TEST_F(HostedSaver, WaitsQuietlyWhileTheDialogRunsAndPaintsOnceItIsClosed) {
    auto Dialog = Start("", {"/c"});
    ASSERT_TRUE(WaitUntil(
        [&] {
            return RunCommand(FXvfb.Display(), "xdotool search --name 'Ystrelo Configuration'") !=
                   "";
        },
        PaintTimeout));
    const xcb_window_t Pane = NewPane();
    auto Saver = Start(Hex(Pane));
    // Ending at once would only make a host start it again and again.
    std::this_thread::sleep_for(2 * SettleTime);
    EXPECT_TRUE(Saver->Running()) << Saver->Stderr();
    EXPECT_FALSE(FractalShown(Pane));
    Dialog->Signal(SIGTERM);
    ASSERT_TRUE(Dialog->Wait(EndTimeout).has_value());
    WaitForFractal(*Saver, Pane);
    FClient->Unmap(Pane);
    ExpectCleanEnd(*Saver);
}

TEST_F(HostedSaver, XScreenSaversOptionsNameTheWindow) {
    // --window-id wins over XSCREENSAVER_WINDOW, as in xscreensaver-settings' preview pane.
    const xcb_window_t Other = NewPane();
    const xcb_window_t Pane = NewPane(); // above the other: it shows only if painted itself
    auto Saver = Start(Hex(Other), {"-s", "--window-id", Hex(Pane)});
    WaitForFractal(*Saver, Pane);
    Saver->Signal(SIGTERM);
    ExpectCleanEnd(*Saver, PromptEnd);

    // -root outside a host: the screen's root window, under every window of the desktop.
    auto OnRoot = Start("", {"-s", "-root"});
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto P = FClient->Pixels(FClient->Root(), 640, 480);
            return std::set<std::uint32_t>(P.begin(), P.end()).size() >= FractalShades ||
                   !OnRoot->Running();
        },
        PaintTimeout))
        << OnRoot->Stderr();
    EXPECT_FALSE(FractalShown(Pane)) << "covered a window of the desktop";
    OnRoot->Signal(SIGTERM);
    ExpectCleanEnd(*OnRoot, PromptEnd);
}
