// The installed program under mate-screensaver, as a MATE user meets it: the daemon on an
// Xorg server with two monitors, in a D-Bus session of its own, the theme chosen in its
// settings; and the preview of its preferences dialog. mate-screensaver runs a theme's
// program only from its own folder and XScreenSaver's, never from PATH, so this is also
// the check that the package puts the program where it looks.
#include "tests/package/ScreenSaverDaemon.h"

#include <cstdio>

namespace {
class MateScreenSaver : public TScreenSaverDaemon {
protected:
    MateScreenSaver()
        : TScreenSaverDaemon(
              {"/usr/bin/mate-screensaver", "/usr/bin/mate-screensaver-command",
               "gsettings set org.mate.screensaver mode single\n"
               "gsettings set org.mate.screensaver themes \"['screensavers-ystrelo']\"\n"
               "gsettings set org.mate.screensaver lock-enabled false\n"}) {}
};
} // namespace

TEST_F(MateScreenSaver, OneCopyPerMonitorInTheUsersHuesEndsWithZeroOnDeactivation) {
    OneCopyPerMonitorUntilDeactivation({"/usr/bin/mate-screensaver", "--no-daemon", "--debug"});
}

TEST_F(MateScreenSaver, ThePreferencesPreviewPaints) {
    // The dialog previews the theme its settings name at once, in an area of its window.
    StartSession({"/usr/bin/mate-screensaver-preferences"});
    pid_t Copy = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto Copies = FUser->Copies();
            Copy = Copies.empty() ? 0 : Copies.front();
            return Copy != 0 && !Environment(Copy)["XSCREENSAVER_WINDOW"].empty();
        },
        SessionReady))
        << FSession->Stderr();
    std::printf("[ host ] %s\n", Describe(Copy).c_str());
    // The dialog may start the preview again while it settles (a new area, a new copy):
    // look at whichever copy runs now, in its own area.
    std::string Seen;
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto Copies = FUser->Copies();
            if (Copies.empty())
                return false;
            const std::string Window = Environment(Copies.front())["XSCREENSAVER_WINDOW"];
            if (Window.empty())
                return false;
            const auto Area = static_cast<std::uint32_t>(std::stoul(Window, nullptr, 0));
            const auto [Width, Height] = WindowSize(FServer->Display(), Area);
            const auto Pixels = FClient->Pixels(Area, Width, Height);
            Seen = Describe(Copies.front()) + " in " + Window + ": " + DescribePicture(Pixels) +
                   "\n" + RunCommand(FServer->Display(), "xwininfo -id " + Window);
            return Width * Height > 0 && ZoomInUserHues(Pixels);
        },
        ShowWithin))
        << Seen;
}
