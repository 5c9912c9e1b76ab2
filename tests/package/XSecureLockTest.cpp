// The installed program under xsecurelock with the module the package ships, on a server
// split into two monitors: xsecurelock's saver_multiplex starts the module once per monitor
// with the monitor's window in XSCREENSAVER_WINDOW (in decimal) and "-root" appended.
// Without input the locker shows no prompt, and nothing of PAM runs.
#include "tests/package/ExitWatch.h"
#include "tests/package/HostUser.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int MonitorWidth = 400;
constexpr int MonitorHeight = 300;
constexpr int Monitors = 2;
constexpr auto ShowWithin = 10s;
constexpr auto EndWithin = 3s; // generous for a loaded machine; the figure is printed
} // namespace

TEST(XSecureLock, TheShippedModulePaintsEveryMonitorAndEveryCopyEndsWithZero) {
    if (!std::filesystem::exists(InstalledProgram))
        GTEST_SKIP() << InstalledProgram << " is not installed";
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TXvfb Server(MonitorWidth * Monitors, MonitorHeight);
    ASSERT_TRUE(Server.Started());
    ASSERT_TRUE(
        SplitIntoMonitors(Server.Display(), {{0, 0, MonitorWidth, MonitorHeight},
                                             {MonitorWidth, 0, MonitorWidth, MonitorHeight}}));
    TX11Client Client(Server.Display());
    THostUser User;
    auto Locker = User.Run({"/usr/bin/xsecurelock"},
                           {"DISPLAY=" + Server.Display(), "XSECURELOCK_SAVER=saver_ystrelo"});

    // The multiplexer reaps the copies itself; a tracer reads how they end.
    TExitWatch Exits;
    std::set<pid_t> Copies;
    const bool Started = WaitUntil(
        [&] {
            for (const pid_t Pid : User.Copies())
                if (Copies.insert(Pid).second) {
                    EXPECT_TRUE(Exits.Watch(Pid)) << "cannot trace " << Describe(Pid);
                }
            return Copies.size() >= Monitors;
        },
        ShowWithin);
    ASSERT_TRUE(Started) << Locker->Stderr();
    for (const pid_t Pid : Copies)
        std::printf("[ host ] %s (XSCREENSAVER_WINDOW=%s)\n", Describe(Pid).c_str(),
                    Environment(Pid)["XSCREENSAVER_WINDOW"].c_str());

    const auto Monitor = [&](int Index) {
        const auto Screen = Client.Pixels(Client.Root(), MonitorWidth * Monitors, MonitorHeight);
        std::vector<std::uint32_t> Result;
        for (int Y = 0; Y < MonitorHeight && !Screen.empty(); ++Y) {
            const auto Row =
                Screen.begin() + (static_cast<std::ptrdiff_t>(Y) * Monitors + Index) * MonitorWidth;
            Result.insert(Result.end(), Row, Row + MonitorWidth);
        }
        return Result;
    };
    EXPECT_TRUE(WaitUntil(
        [&] {
            Exits.Poll();
            return ZoomInUserHues(Monitor(0)) && ZoomInUserHues(Monitor(1));
        },
        ShowWithin))
        << DescribePicture(Monitor(0)) << "; " << DescribePicture(Monitor(1));
    EXPECT_EQ(Exits.Ended(), 0u) << Locker->Stderr();

    const auto Asked = std::chrono::steady_clock::now();
    Locker->Signal(SIGTERM);
    WaitUntil(
        [&] {
            Exits.Poll();
            return Exits.Ended() == Copies.size();
        },
        EndWithin);
    for (const pid_t Pid : Copies) {
        const auto Status = Exits.Status(Pid);
        ASSERT_TRUE(Status) << "copy " << Pid << " still runs";
        EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0)
            << "copy " << Pid << ": status " << *Status;
        std::printf("[ figure ] SIGTERM to the locker to the end of copy %d: %lld ms\n", Pid,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               *Exits.EndedAt(Pid) - Asked)
                                               .count()));
    }
}
