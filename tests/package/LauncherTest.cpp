// The menu's launcher, as a desktop starts it (gio launch reads the installed file and runs
// its Exec line): the configuration dialog opens.
#include "tests/package/HostUser.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {
constexpr const char* Launcher = "/usr/share/applications/ystrelo.desktop";
constexpr auto ShowWithin = 10s;
} // namespace

TEST(Launcher, TheMenuEntryOpensTheDialog) {
    if (!std::filesystem::exists(InstalledProgram))
        GTEST_SKIP() << InstalledProgram << " is not installed";
    TXvfb Server(800, 600);
    ASSERT_TRUE(Server.Started());
    THostUser User;
    auto Launch = User.Run({"/usr/bin/gio", "launch", Launcher}, {"DISPLAY=" + Server.Display()});
    EXPECT_TRUE(WaitUntil(
        [&] {
            return !RunCommand(Server.Display(), "xdotool search --name '^Ystrelo Configuration$'")
                        .empty();
        },
        ShowWithin))
        << Launch->Stderr();
    // The user's processes, the dialog among them, go with the user.
}
