// The installed program in the preview pane of XScreenSaver's settings program, with the
// daemon running and Ystrelo the user's one display mode. The settings program lists the
// modes of the user's programs lines whose file it finds in its config folder, and runs
// the selected one's line with "--window-id 0x..." of its preview pane appended.
#include "tests/package/HostUser.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr auto DaemonReady = 20s;
constexpr auto ShowWithin = 10s;
} // namespace

TEST(XScreenSaverSettings, ThePreviewPanePaintsTheUsersHues) {
    if (!std::filesystem::exists(InstalledProgram))
        GTEST_SKIP() << InstalledProgram << " is not installed";
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TXvfb Server(1024, 768);
    ASSERT_TRUE(Server.Started());
    TX11Client Client(Server.Display());
    THostUser User;
    User.Write(".xscreensaver", "mode: one\nselected: 0\ntimeout: 0:30:00\nlock: False\n"
                                "fade: False\nunfade: False\nsplash: False\n"
                                "dpmsEnabled: False\ncaptureStderr: False\n"
                                "programs: \"Ystrelo\" ystrelo -s \\n\n");
    const std::vector<std::string> Display{"DISPLAY=" + Server.Display(), "NO_AT_BRIDGE=1"};
    auto Daemon = User.Run({"/usr/bin/xscreensaver", "--verbose", "--no-splash"}, Display);
    // The settings program warns in a dialog of its own when the daemon is not up yet.
    ASSERT_TRUE(WaitUntil(
        [&] {
            auto Version = User.Run({"/usr/bin/xscreensaver-command", "-version"}, Display);
            const auto Status = Version->Wait(10s);
            return Status && WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0;
        },
        DaemonReady))
        << Daemon->Stderr();
    auto Settings = User.Run({"/usr/bin/xscreensaver-settings"}, Display);

    pid_t Copy = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto Copies = User.Copies();
            Copy = Copies.empty() ? 0 : Copies.front();
            return Copy != 0 && Arguments(Copy).size() == 4;
        },
        ShowWithin))
        << Settings->Stderr();
    std::printf("[ host ] %s\n", Describe(Copy).c_str());
    const auto Argv = Arguments(Copy);
    ASSERT_EQ(Argv[2], "--window-id") << Describe(Copy);
    const auto Pane = static_cast<std::uint32_t>(std::stoul(Argv[3], nullptr, 16));
    const auto [Width, Height] = WindowSize(Server.Display(), Pane);
    ASSERT_GT(Width * Height, 0) << Describe(Copy);
    EXPECT_TRUE(
        WaitUntil([&] { return ZoomInUserHues(Client.Pixels(Pane, Width, Height)); }, ShowWithin))
        << Describe(Copy) << ": " << DescribePicture(Client.Pixels(Pane, Width, Height));
}
