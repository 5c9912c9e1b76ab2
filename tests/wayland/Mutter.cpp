#include "tests/wayland/Mutter.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr auto StartWithin = 20s;
constexpr auto CallWithin = 10s;
constexpr const char* Socket = "wayland-0";
} // namespace

std::string TMutter::Unavailable() {
#ifdef __SANITIZE_THREAD__
    // Qt's Wayland platform runs threads of its own in libraries not built for
    // ThreadSanitizer; the saver's threading runs under it on the offscreen platform.
    return "the program on a compositor is not run under ThreadSanitizer";
#endif
    for (const char* Program :
         {"/usr/bin/mutter", "/usr/bin/dbus-run-session", "/usr/bin/dbus-send"})
        if (access(Program, X_OK) != 0)
            return std::string(Program) + " is not installed";
    if (TestUser() == 0)
        return "mutter refuses root, and other users cannot run the build";
    return {};
}

TMutter::TMutter() {
    if (FUser.Uid() != geteuid() && chown(FRuntime.Path().c_str(), FUser.Uid(), FUser.Uid()) != 0)
        std::perror(FRuntime.Path().c_str());
    chmod(FRuntime.Path().c_str(), 0700);
    // The bus's address and mutter's pid come out through files; the bus outlives mutter,
    // so that losing the compositor is not also losing the bus.
    const std::string Address = FRuntime.Path() + "/bus-address";
    const std::string Pid = FRuntime.Path() + "/mutter-pid";
    FSession = Start({"/usr/bin/dbus-run-session", "--", "/bin/sh", "-c",
                      "echo \"$DBUS_SESSION_BUS_ADDRESS\" > " + Address +
                          "; mutter --wayland --headless --no-x11 --virtual-monitor 640x480 & "
                          "echo $! > " +
                          Pid + "; wait; exec sleep infinity"});
    const bool Up = WaitUntil(
        [&] {
            FBus = ReadFile(Address);
            if (!FBus.empty() && FBus.back() == '\n')
                FBus.pop_back();
            return !FSession->Running() ||
                   (!FBus.empty() && access((FRuntime.Path() + "/" + Socket).c_str(), F_OK) == 0 &&
                    Start({"/usr/bin/dbus-send", "--session", "--print-reply",
                           "--dest=org.gnome.Mutter.IdleMonitor",
                           "/org/gnome/Mutter/IdleMonitor/Core",
                           "org.gnome.Mutter.IdleMonitor.GetIdletime"})
                            ->Wait(CallWithin)
                            .value_or(-1) == 0);
        },
        StartWithin);
    FMutter = std::atoi(ReadFile(Pid).c_str());
    if (!Up || !FSession->Running())
        FError = "mutter did not start: " + FSession->Stderr();
}

std::unique_ptr<TChild> TMutter::Start(const std::vector<std::string>& Program) const {
    std::vector<std::string> Environment = SessionEnvironment(FRuntime.Path());
    Environment.push_back("MUTTER_DEBUG_RESET_IDLETIME=1");
    if (!FBus.empty())
        Environment.insert(Environment.end(), {"DBUS_SESSION_BUS_ADDRESS=" + FBus,
                                               std::string("WAYLAND_DISPLAY=") + Socket});
    return FUser.Run(Program, Environment);
}

bool TMutter::ResetIdleTime() const {
    return Start({"/usr/bin/dbus-send", "--session", "--print-reply",
                  "--dest=org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                  "org.gnome.Mutter.IdleMonitor.ResetIdletime"})
               ->Wait(CallWithin)
               .value_or(-1) == 0;
}

bool TMutter::SetPowerSaveMode(int Mode) const {
    return Start({"/usr/bin/dbus-send", "--session", "--print-reply",
                  "--dest=org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                  "org.freedesktop.DBus.Properties.Set", "string:org.gnome.Mutter.DisplayConfig",
                  "string:PowerSaveMode", "variant:int32:" + std::to_string(Mode)})
               ->Wait(CallWithin)
               .value_or(-1) == 0;
}

void TMutter::Kill() {
    if (FMutter > 0)
        kill(FMutter, SIGKILL);
}
