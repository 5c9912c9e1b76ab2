// A hosted copy given no session bus, on a machine where dbus-launch is installed (the
// hosts pull in dbus-x11): nothing of the user may outlive it. Qt's D-Bus use would
// autolaunch a bus (dbus-launch, dbus-daemon) that stays behind for good.
#include "tests/package/HostUser.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int Width = 320;
constexpr int Height = 240;
constexpr std::uint32_t Background = 0x00FF00; // the host's green, outside the user's hues
constexpr auto ShowWithin = 10s;
constexpr auto EndWithin = 3s;
} // namespace

TEST(StrayProcess, AHostedCopyWithoutASessionBusLeavesNoProcessOfTheUser) {
    if (!std::filesystem::exists(InstalledProgram))
        GTEST_SKIP() << InstalledProgram << " is not installed";
    ASSERT_TRUE(std::filesystem::exists("/usr/bin/dbus-launch")) << "dbus-x11 is not installed";
    // What the copy leaves behind comes to us when it ends, to be counted and reaped.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TXvfb Server(640, 480);
    ASSERT_TRUE(Server.Started());
    TX11Client Client(Server.Display());
    const xcb_window_t Window = Client.CreateWindow(Client.Root(), Width, Height, Background);
    Client.Map(Window);
    THostUser User;
    if (User.Uid() == geteuid())
        GTEST_SKIP() << "no user of our own (not root): every process of ours would count";

    auto Copy =
        User.Run({InstalledProgram, "-s"},
                 {"DISPLAY=" + Server.Display(), "XSCREENSAVER_WINDOW=" + std::to_string(Window)});
    ASSERT_TRUE(
        WaitUntil([&] { return ZoomInUserHues(Client.Pixels(Window, Width, Height)); }, ShowWithin))
        << Copy->Stderr() << DescribePicture(Client.Pixels(Window, Width, Height));

    Copy->Signal(SIGTERM);
    const auto Status = Copy->Wait(EndWithin);
    ASSERT_TRUE(Status) << "the copy did not end";
    EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0) << "status " << *Status;
    std::string Left;
    WaitUntil(
        [&] {
            User.Reap();
            Left.clear();
            for (const pid_t Pid : User.Processes())
                Left += Describe(Pid) + "\n";
            return Left.empty();
        },
        1s);
    EXPECT_EQ(Left, "");
}
