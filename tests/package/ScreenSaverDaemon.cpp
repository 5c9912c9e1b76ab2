#include "tests/package/ScreenSaverDaemon.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int MonitorWidth = 1280;
constexpr int MonitorHeight = 800;
constexpr int Monitors = 2;
// The daemon must neither start a copy again nor lose one in this time.
constexpr auto SteadyFor = 10s;
constexpr auto EndWithin = 1s;
} // namespace

TDummyXorg* TScreenSaverDaemon::FServer = nullptr;

TScreenSaverDaemon::TScreenSaverDaemon(TDaemon Daemon) : FDaemon(std::move(Daemon)) {}

void TScreenSaverDaemon::TearDownTestSuite() {
    delete FServer;
    FServer = nullptr;
}

void TScreenSaverDaemon::SetUp() {
    if (!std::filesystem::exists(FDaemon.Program))
        GTEST_SKIP() << FDaemon.Program << " is not installed";
    if (!std::filesystem::exists(InstalledProgram))
        GTEST_SKIP() << InstalledProgram << " is not installed";
    if (geteuid() != 0)
        GTEST_SKIP() << "Xorg with the dummy driver needs root";
    // Xorg claims a virtual terminal even with the dummy driver; a container has none.
    if (!std::filesystem::exists("/dev/tty0"))
        GTEST_SKIP() << "Xorg needs a virtual terminal (/dev/tty0)";
    // One server for the suite's tests.
    if (!FServer)
        FServer = new TDummyXorg(MonitorWidth, MonitorHeight, Monitors);
    ASSERT_TRUE(FServer->Started()) << FServer->Log();
    ASSERT_NE(TestUser(), 0u) << "no user of our own to run the host as";
    // Copies whose daemon is gone come to us, and are reaped with the user.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    FUser = std::make_unique<THostUser>();
    FClient = std::make_unique<TX11Client>(FServer->Display());
    // The session's bus address for the commands, then the daemon's settings.
    FUser->Write("session.sh", "#!/bin/sh\n"
                               "printf '%s' \"$DBUS_SESSION_BUS_ADDRESS\" > \"$HOME/bus.new\"\n"
                               "mv \"$HOME/bus.new\" \"$HOME/bus\"\n" +
                                   FDaemon.Settings + "exec \"$@\"\n");
    chmod((FUser->Home() + "/session.sh").c_str(), 0755);
}

void TScreenSaverDaemon::TearDown() {
    FSession.reset();
    FClient.reset();
    FUser.reset();
}

std::vector<std::string> TScreenSaverDaemon::Display() const {
    // No accessibility bus: its launcher would start a D-Bus daemon of its own.
    return {"DISPLAY=" + FServer->Display(), "NO_AT_BRIDGE=1"};
}

void TScreenSaverDaemon::StartSession(const std::vector<std::string>& Program) {
    std::vector<std::string> Argv{"/usr/bin/dbus-run-session", "--", FUser->Home() + "/session.sh"};
    Argv.insert(Argv.end(), Program.begin(), Program.end());
    FSession = FUser->Run(Argv, Display());
}

// Exits, when given, is served while the command runs: the daemon waits for each copy it
// stops before it answers, and a copy waits for the tracer on its way out.
bool TScreenSaverDaemon::Command(const std::string& Verb, TExitWatch* Exits) const {
    const std::string Bus = ReadFile(FUser->Home() + "/bus");
    if (Bus.empty())
        return false;
    auto Environment = Display();
    Environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + Bus);
    auto Client = FUser->Run({FDaemon.CommandTool, Verb}, Environment);
    WaitUntil(
        [&] {
            if (Exits)
                Exits->Poll();
            return !Client->Running();
        },
        10s);
    const auto Status = Client->Wait(0ms);
    return Status && WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0;
}

std::vector<std::uint32_t> TScreenSaverDaemon::Monitor(int Index) const {
    const auto Screen = FClient->Pixels(FClient->Root(), MonitorWidth * Monitors, MonitorHeight);
    std::vector<std::uint32_t> Result;
    if (Screen.size() != static_cast<std::size_t>(MonitorWidth) * Monitors * MonitorHeight)
        return Result;
    for (int Y = 0; Y < MonitorHeight; ++Y) {
        const auto Row =
            Screen.begin() + (static_cast<std::ptrdiff_t>(Y) * Monitors + Index) * MonitorWidth;
        Result.insert(Result.end(), Row, Row + MonitorWidth);
    }
    return Result;
}

std::string TScreenSaverDaemon::Copies() const {
    std::string Result;
    for (const pid_t Pid : FUser->Copies())
        Result += Describe(Pid) + "\n";
    return Result;
}

void TScreenSaverDaemon::OneCopyPerMonitorUntilDeactivation(
    const std::vector<std::string>& Daemon) {
    struct stat Before {};
    ASSERT_EQ(stat(FUser->SettingsFile().c_str(), &Before), 0);
    StartSession(Daemon);
    ASSERT_TRUE(WaitUntil([&] { return Command("--activate"); }, SessionReady))
        << FSession->Stderr();
    const auto Activated = std::chrono::steady_clock::now();

    // The copies are the daemon's children; it reaps them itself, so a tracer reads how
    // they end.
    TExitWatch Exits;
    std::set<pid_t> Copies;
    const bool Started = WaitUntil(
        [&] {
            for (const pid_t Pid : FUser->Copies())
                if (Copies.insert(Pid).second) {
                    EXPECT_TRUE(Exits.Watch(Pid)) << "cannot trace " << Describe(Pid);
                }
            return Copies.size() >= Monitors;
        },
        ShowWithin);
    ASSERT_TRUE(Started) << this->Copies() << FSession->Stderr();
    for (const pid_t Pid : Copies)
        std::printf("[ host ] %s\n", Describe(Pid).c_str());

    bool Shown[Monitors] = {};
    std::set<pid_t> Seen = Copies;
    WaitUntil(
        [&] {
            Exits.Poll();
            for (const pid_t Pid : FUser->Copies())
                Seen.insert(Pid);
            for (int Index = 0; Index < Monitors; ++Index)
                if (!Shown[Index] && std::chrono::steady_clock::now() < Activated + ShowWithin)
                    Shown[Index] = ZoomInUserHues(Monitor(Index));
            return false;
        },
        std::chrono::duration_cast<std::chrono::milliseconds>(Activated + SteadyFor -
                                                              std::chrono::steady_clock::now()));
    for (int Index = 0; Index < Monitors; ++Index)
        EXPECT_TRUE(Shown[Index]) << "monitor " << Index << ": " << DescribePicture(Monitor(Index));
    EXPECT_EQ(Seen, Copies) << this->Copies();
    EXPECT_EQ(Exits.Ended(), 0u) << "a copy ended before the deactivation";
    std::set<std::string> Windows;
    for (const pid_t Pid : Copies)
        Windows.insert(Environment(Pid)["XSCREENSAVER_WINDOW"]);
    EXPECT_EQ(Windows.size(), static_cast<std::size_t>(Monitors)) << this->Copies();

    const auto Asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(Command("--deactivate", &Exits));
    WaitUntil(
        [&] {
            Exits.Poll();
            return Exits.Ended() == Copies.size();
        },
        2 * EndWithin);
    for (const pid_t Pid : Copies) {
        const auto Status = Exits.Status(Pid);
        ASSERT_TRUE(Status) << "copy " << Pid << " still runs";
        EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0)
            << "copy " << Pid << ": status " << *Status;
        const auto Took = *Exits.EndedAt(Pid) - Asked;
        std::printf("[ figure ] deactivation to the end of copy %d: %lld ms\n", Pid,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(Took).count()));
        EXPECT_LE(Took, EndWithin);
    }

    // Copies only read the settings.
    struct stat After {};
    ASSERT_EQ(stat(FUser->SettingsFile().c_str(), &After), 0);
    EXPECT_EQ(ReadFile(FUser->SettingsFile()), THostUser::Settings);
    EXPECT_EQ(After.st_mtim.tv_sec, Before.st_mtim.tv_sec);
    EXPECT_EQ(After.st_mtim.tv_nsec, Before.st_mtim.tv_nsec);
}
