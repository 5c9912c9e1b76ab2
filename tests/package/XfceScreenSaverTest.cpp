// The installed program under xfce4-screensaver, as an Xfce user meets it: the daemon on
// an Xorg server with two monitors, in a D-Bus session of its own, the theme chosen in its
// Xfconf settings, so this is also the check that the package's display-mode entry is one
// the daemon lists and runs. Debian 12 has no xfce4-screensaver.
#include "tests/package/ScreenSaverDaemon.h"

namespace {
// The Xfconf daemon starts on the session bus when the first setting is written. Mode 2
// is "single": the first theme of the list, always.
class XfceScreenSaver : public TScreenSaverDaemon {
protected:
    XfceScreenSaver()
        : TScreenSaverDaemon({"/usr/bin/xfce4-screensaver", "/usr/bin/xfce4-screensaver-command",
                              "xfconf-query -c xfce4-screensaver -p /saver/mode -n -t int -s 2\n"
                              "xfconf-query -c xfce4-screensaver -p /saver/themes/list -n -a "
                              "-t string -s screensavers-ystrelo\n"
                              "xfconf-query -c xfce4-screensaver -p /lock/enabled -n -t bool "
                              "-s false\n"}) {}
};
} // namespace

TEST_F(XfceScreenSaver, OneCopyPerMonitorInTheUsersHuesEndsWithZeroOnDeactivation) {
    // It stays in the foreground of its own accord.
    OneCopyPerMonitorUntilDeactivation({"/usr/bin/xfce4-screensaver", "--debug"});
}
