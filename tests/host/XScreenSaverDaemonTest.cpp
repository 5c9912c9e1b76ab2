// The saver under the real XScreenSaver daemon, as users meet it: the daemon on a server
// of the test's own split into two monitors, run as a user of its own (it refuses to run
// display modes as root), activated and deactivated with xscreensaver-command. The daemon
// makes one window per monitor and starts the programs line once in each.
#include "tests/host/HostTestSupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int MonitorWidth = 400;
constexpr int MonitorHeight = 300;
constexpr int Monitors = 2;
#if defined(__SANITIZE_ADDRESS__)
constexpr auto ShowWithin = 15s; // the program under AddressSanitizer starts and paints slowly
#else
constexpr auto ShowWithin = 3s;
#endif
constexpr auto DaemonReady = 20s;
// The daemon must not start any monitor's copy again in this time.
constexpr auto SteadyFor = 10s;
constexpr auto EndWithin = 3s; // generous for a loaded machine; the figure is printed
constexpr std::size_t FractalShades = 8;
constexpr std::uint32_t Black = 0;

// The user's settings: red and blue; the second monitor shows a matrix of 2 x 2 frames.
const std::string Settings = std::string(RedAndBlueSettings) + SecondMonitorMatrix;

struct TImage {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
    std::uint32_t At(int X, int Y) const { return Pixels[static_cast<std::size_t>(Y) * Width + X]; }
};

struct TLaunch {
    int Screen;
    pid_t Pid;
};

class XScreenSaverDaemon : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef __SANITIZE_THREAD__
        GTEST_SKIP() << "the program on an X server is not run under ThreadSanitizer";
#endif
        ASSERT_TRUE(FXvfb.Started()) << "Xvfb did not start";
        ASSERT_TRUE(
            SplitIntoMonitors(FXvfb.Display(), {{0, 0, MonitorWidth, MonitorHeight},
                                                {MonitorWidth, 0, MonitorWidth, MonitorHeight}}));
        // The copies the daemon's screen process starts outlive it when it ends on
        // deactivation; as the subreaper we get them and can read how they ended.
        ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        FUser = TestUser();
        std::filesystem::create_directories(ConfigFolder());
        std::ofstream(SettingsFile()) << Settings;
        Own(FHome.Path());
        Own(FHome.Path() + "/.config");
        Own(SettingsFile());
        FClient = std::make_unique<TX11Client>(FXvfb.Display());
    }

    void TearDown() override {
        if (FDaemon)
            FDaemon->Signal(SIGTERM);
        FDaemon.reset();
        // Whatever of the user's processes is left (the daemon's helpers) goes, and every
        // orphan that came to us is reaped.
        if (FUser != geteuid())
            KillProcessesOf(FUser);
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        if (FUser != geteuid())
            unlink(("/tmp/Korvanel-" + std::to_string(FUser)).c_str());
    }

    std::string ConfigFolder() const {
        return FHome.Path() + "/.config";
    }
    std::string SettingsFile() const {
        return ConfigFolder() + "/Ystrelo.ini";
    }
    void Own(const std::string& Path) const {
        if (FUser != geteuid()) {
            ASSERT_EQ(chown(Path.c_str(), FUser, FUser), 0) << Path;
        }
    }

    // Runs Program (and its arguments) as the test's user in the daemon's environment.
    std::unique_ptr<TChild> AsUser(std::vector<std::string> Program) const {
        std::vector<std::string> Argv;
        if (FUser != geteuid())
            Argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(FUser),
                    "--regid=" + std::to_string(FUser), "--clear-groups", "--"};
        Argv.insert(Argv.end(), Program.begin(), Program.end());
        const std::string Build = std::filesystem::path(YstreloBinary()).parent_path().string();
        return std::make_unique<TChild>(
            Argv,
            std::vector<std::string>{"DISPLAY=" + FXvfb.Display(), "HOME=" + FHome.Path(),
                                     "PATH=" + Build + ":/usr/bin:/bin"},
            std::vector<std::string>{"QT_QPA_PLATFORM", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME",
                                     "XSCREENSAVER_WINDOW"});
    }

    // The daemon with the programs line Line, no fading, no locking.
    void StartDaemon(const std::string& Line) {
        std::ofstream(FHome.Path() + "/.xscreensaver")
            << "mode: one\nselected: 0\ntimeout: 0:30:00\nlock: False\nfade: False\n"
               "unfade: False\nsplash: False\ndpmsEnabled: False\ncaptureStderr: False\n"
               "programs: \"Ystrelo\" "
            << Line << " \\n\n";
        Own(FHome.Path() + "/.xscreensaver");
        FDaemon = AsUser({"/usr/bin/xscreensaver", "--verbose", "--no-splash"});
    }

    bool Command(const std::string& Verb) const {
        auto Client = AsUser({"/usr/bin/xscreensaver-command", Verb});
        const auto Status = Client->Wait(10s);
        return Status && WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0;
    }

    // Asks until the daemon is up to hear it.
    void Activate() {
        ASSERT_TRUE(WaitUntil([&] { return Command("-activate"); }, DaemonReady))
            << FDaemon->Stderr();
        FActivated = std::chrono::steady_clock::now();
    }

    // Every copy of ours the daemon has started so far, as its log tells.
    std::vector<TLaunch> Launches() const {
        static const std::regex Forked(R"((\d+): forked "ystrelo.*" in pid (\d+))");
        std::vector<TLaunch> Result;
        const std::string Log = FDaemon->Stderr();
        for (auto It = std::sregex_iterator(Log.begin(), Log.end(), Forked);
             It != std::sregex_iterator(); ++It)
            Result.push_back({std::stoi((*It)[1]), std::stoi((*It)[2])});
        return Result;
    }

    TImage Monitor(int Index) const {
        const auto Screen =
            FClient->Pixels(FClient->Root(), MonitorWidth * Monitors, MonitorHeight);
        TImage Result{MonitorWidth, MonitorHeight, {}};
        if (Screen.size() != static_cast<std::size_t>(MonitorWidth) * Monitors * MonitorHeight)
            return Result;
        for (int Y = 0; Y < MonitorHeight; ++Y)
            for (int X = 0; X < MonitorWidth; ++X)
                Result.Pixels.push_back(
                    Screen[static_cast<std::size_t>(Y) * MonitorWidth * Monitors +
                           Index * MonitorWidth + X]);
        return Result;
    }

    // How each copy ended, collected as the copies end; nothing for one still running
    // after Timeout.
    std::map<pid_t, int> Ends(const std::vector<TLaunch>& Copies,
                              std::chrono::milliseconds Timeout) {
        std::map<pid_t, int> Result;
        WaitUntil(
            [&] {
                for (const auto& Copy : Copies) {
                    int Status = 0;
                    if (!Result.count(Copy.Pid) && waitpid(Copy.Pid, &Status, WNOHANG) == Copy.Pid)
                        Result[Copy.Pid] = Status;
                }
                return Result.size() == Copies.size();
            },
            Timeout);
        return Result;
    }

    // Deactivates the daemon; every copy ends with 0, promptly.
    void ExpectDeactivationEndsEveryCopy(const std::vector<TLaunch>& Copies) {
        const auto Start = std::chrono::steady_clock::now();
        ASSERT_TRUE(Command("-deactivate"));
        const auto Ended = Ends(Copies, EndWithin);
        const auto Took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - Start);
        std::printf("[ figure ] deactivation to the end of every copy: %lld ms\n",
                    static_cast<long long>(Took.count()));
        ASSERT_EQ(Ended.size(), Copies.size()) << FDaemon->Stderr();
        for (const auto& [Pid, Status] : Ended)
            EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0)
                << "copy " << Pid << ": status " << Status;
    }

    // One copy per monitor, each still running SteadyFor after the activation.
    std::vector<TLaunch> ExpectOneSteadyCopyPerMonitor() {
        std::this_thread::sleep_until(FActivated + SteadyFor);
        const auto Copies = Launches();
        std::set<int> Screens;
        for (const auto& Copy : Copies)
            Screens.insert(Copy.Screen);
        EXPECT_EQ(Copies.size(), static_cast<std::size_t>(Monitors)) << FDaemon->Stderr();
        EXPECT_EQ(Screens.size(), static_cast<std::size_t>(Monitors));
        return Copies;
    }

    // The copies write nothing on standard error, which the daemon would show on the
    // screen by default: every line of its log after the activation is its own.
    void ExpectQuietCopies() const {
        const std::string Log = FDaemon->Stderr();
        const auto Activation = Log.find("ClientMessage ACTIVATE");
        std::istringstream Lines(Log.substr(Log.rfind('\n', Activation) + 1));
        std::string Line;
        while (std::getline(Lines, Line))
            EXPECT_TRUE(Line.empty() || Line.rfind("xscreensaver", 0) == 0) << Line;
    }

    TXvfb FXvfb{MonitorWidth * Monitors, MonitorHeight};
    std::unique_ptr<TX11Client> FClient;
    TTempDir FHome;
    uid_t FUser = 0;
    std::unique_ptr<TChild> FDaemon;
    std::chrono::steady_clock::time_point FActivated;
};

std::set<std::uint32_t> Colours(const TImage& Image) {
    return {Image.Pixels.begin(), Image.Pixels.end()};
}

// Every pixel black or a shade of red or of blue, the hues of the settings.
bool RedAndBlueOnly(const TImage& Image) {
    for (const std::uint32_t P : Image.Pixels) {
        const std::uint32_t R = P >> 16 & 0xFF, G = P >> 8 & 0xFF, B = P & 0xFF;
        if (G != 0 || (R != 0 && B != 0))
            return false;
    }
    return true;
}

// Whether anything but black lies outside the rectangle [0, Right] x [0, Bottom].
bool PaintedBeyond(const TImage& Image, int Right, int Bottom) {
    for (int Y = 0; Y < Image.Height; ++Y)
        for (int X = 0; X < Image.Width; ++X)
            if ((X > Right || Y > Bottom) && Image.At(X, Y) != Black)
                return true;
    return false;
}
} // namespace

TEST_F(XScreenSaverDaemon, EveryMonitorShowsTheUsersSettingsFromTheProgramsLine) {
    struct stat Before {};
    ASSERT_EQ(stat(SettingsFile().c_str(), &Before), 0);
    StartDaemon("ystrelo -s");
    Activate();

    // The first view of the second monitor appears in the top-left frame of its 2 x 2
    // matrix (a painter shares a frame's last column and row with the next frame).
    constexpr int CellRight = MonitorWidth / 2, CellBottom = MonitorHeight / 2;
    bool SecondStartedInItsFirstFrame = false, SecondSeen = false;
    const bool Shown = WaitUntil(
        [&] {
            const TImage Second = Monitor(1);
            if (!SecondSeen && Colours(Second).size() > 1) {
                SecondSeen = true;
                SecondStartedInItsFirstFrame = !PaintedBeyond(Second, CellRight, CellBottom);
            }
            return Colours(Monitor(0)).size() >= FractalShades &&
                   Colours(Second).size() >= FractalShades;
        },
        ShowWithin);
    std::printf("[ figure ] activation to the zoom on both monitors: %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - FActivated)
                                           .count()));
    ASSERT_TRUE(Shown) << FDaemon->Stderr();
    EXPECT_TRUE(SecondStartedInItsFirstFrame);
    for (int Index = 0; Index < Monitors; ++Index)
        EXPECT_TRUE(RedAndBlueOnly(Monitor(Index))) << "monitor " << Index;
    // The rotation goes on to the second monitor's other frames.
    EXPECT_TRUE(
        WaitUntil([&] { return PaintedBeyond(Monitor(1), CellRight, CellBottom); }, SteadyFor));

    const auto Copies = ExpectOneSteadyCopyPerMonitor();
    ExpectQuietCopies();
    ExpectDeactivationEndsEveryCopy(Copies);

    // Copies only read the settings.
    struct stat After {};
    ASSERT_EQ(stat(SettingsFile().c_str(), &After), 0);
    EXPECT_EQ(ReadFile(SettingsFile()), Settings);
    EXPECT_EQ(After.st_mtim.tv_sec, Before.st_mtim.tv_sec);
    EXPECT_EQ(After.st_mtim.tv_nsec, Before.st_mtim.tv_nsec);
}

TEST_F(XScreenSaverDaemon, TheOldPreviewLinePaintsEveryMonitorToo) {
    StartDaemon("ystrelo -p \"$XSCREENSAVER_WINDOW\"");
    Activate();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Colours(Monitor(0)).size() >= FractalShades &&
                   Colours(Monitor(1)).size() >= FractalShades;
        },
        ShowWithin))
        << FDaemon->Stderr();
    const auto Copies = ExpectOneSteadyCopyPerMonitor();
    ExpectQuietCopies();
    ExpectDeactivationEndsEveryCopy(Copies);
}
