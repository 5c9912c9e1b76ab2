// The idle watcher on an X server of the test's own: the server's idle counter starts the
// saver and input ends it, an inhibit on a session bus of the test's own holds it off, a
// running XScreenSaver is left to do the job, and beside KDE's session (a stand-in for
// what it serves on the bus) the watcher goes on and honours the inhibits KDE keeps.
#include "tests/host/HostTestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int ScreenWidth = 640;
constexpr int ScreenHeight = 480;
constexpr const char* IdleArgument = "2s";
constexpr auto IdleTime = 2s;
// The saver must stay away this long while inhibited: twice the idle time.
constexpr auto HeldOff = 4s;
constexpr auto ShowTimeout = 20s; // generous for sanitizer builds on a loaded machine
constexpr auto EndTimeout = 15s;
constexpr std::size_t FractalShades = 16;
constexpr const char* ServiceName = "org.freedesktop.ScreenSaver";
constexpr const char* TestConnection = "x11-idle-test";

using TClock = std::chrono::steady_clock;

long long Milliseconds(TClock::duration Duration) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Duration).count();
}

class X11Idle : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef __SANITIZE_THREAD__
        GTEST_SKIP() << "the program on an X server is not run under ThreadSanitizer";
#endif
        ASSERT_TRUE(FXvfb.Started()) << "Xvfb did not start";
        FAddress = FBusDaemon.Address(ShowTimeout);
        ASSERT_FALSE(FAddress.empty()) << FBusDaemon.Stderr();
        FBus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(FAddress), TestConnection));
        ASSERT_TRUE(FBus->isConnected());
    }

    void TearDown() override {
        FBus.reset();
        QDBusConnection::disconnectFromBus(TestConnection);
        if (FUser != geteuid())
            KillProcessesOf(FUser);
    }

    std::vector<std::string> Environment() const {
        return {"DISPLAY=" + FXvfb.Display(), "XDG_RUNTIME_DIR=" + FRuntime.Path(),
                "XDG_CONFIG_HOME=" + FConfig.Path(), "DBUS_SESSION_BUS_ADDRESS=" + FAddress};
    }
    // The watcher, once it watches: it serves the inhibit name from then on.
    // Saver: what the saver it starts finds set besides.
    std::unique_ptr<TChild> StartWatcher(const char* After = IdleArgument,
                                         const std::vector<std::string>& Saver = {}) {
        std::vector<std::string> Set = Environment();
        Set.insert(Set.end(), Saver.begin(), Saver.end());
        auto Watcher = std::make_unique<TChild>(
            std::vector<std::string>{YstreloBinary(), "--idle", After}, Set,
            std::vector<std::string>{"QT_QPA_PLATFORM", "WAYLAND_DISPLAY"});
        EXPECT_TRUE(WaitUntil([&] { return Served() || !Watcher->Running(); }, ShowTimeout));
        EXPECT_TRUE(Watcher->Running()) << Watcher->Stderr();
        return Watcher;
    }
    bool Served() const {
        return FBus->interface()->isServiceRegistered(ServiceName);
    }
    bool SaverShown() const {
        return !RunCommand(FXvfb.Display(),
                           "xdotool search --onlyvisible --name '^Primary' 2>/dev/null")
                    .empty();
    }
    bool ScreenShowsFractal() const {
        TX11Client Client(FXvfb.Display());
        const auto Pixels = Client.Pixels(Client.Root(), ScreenWidth, ScreenHeight);
        return std::set<std::uint32_t>(Pixels.begin(), Pixels.end()).size() >= FractalShades;
    }
    // Input at a new spot each time (the server counts a move to the same spot as none).
    void Move() {
        FSpot = (FSpot + 47) % ScreenHeight;
        RunCommand(FXvfb.Display(), "xdotool mousemove " + std::to_string(FSpot) + " " +
                                        std::to_string(FSpot) + " 2>/dev/null");
    }
    // As a video player does, on a connection of its own, through the object at Path: its
    // inhibit holds the saver off until it goes without taking it back, as a crashed
    // player would; then the whole idle time runs again.
    void HoldOffThenLeave(const char* Path, TChild& Watcher) {
        constexpr const char* Player = "x11-idle-player";
        {
            QDBusConnection Bus =
                QDBusConnection::connectToBus(QString::fromStdString(FAddress), Player);
            const QDBusReply<uint> Cookie =
                Bus.call(QDBusMessage::createMethodCall(ServiceName, Path, ServiceName, "Inhibit")
                         << "player"
                         << "a film");
            ASSERT_TRUE(Cookie.isValid()) << Cookie.error().message().toStdString();
            EXPECT_FALSE(WaitUntil([&] { return SaverShown(); }, HeldOff));
        }
        QDBusConnection::disconnectFromBus(Player);
        const auto Left = TClock::now();
        ASSERT_TRUE(WaitUntil([&] { return SaverShown(); }, ShowTimeout)) << Watcher.Stderr();
        EXPECT_GE(TClock::now() - Left, IdleTime - 100ms);
    }
    void ExpectEndsWith(TChild& Watcher, int Code) {
        const auto Status = Watcher.Wait(EndTimeout);
        ASSERT_TRUE(Status.has_value()) << "still running";
        EXPECT_TRUE(ExitedWith(Status, Code)) << "status " << *Status << "\n" << Watcher.Stderr();
    }

    TXvfb FXvfb{ScreenWidth, ScreenHeight};
    TTempDir FRuntime;
    TTempDir FConfig;
    TBusDaemon FBusDaemon;
    std::string FAddress;
    std::unique_ptr<QDBusConnection> FBus;
    uid_t FUser = geteuid();
    int FSpot = 0;
};

TEST_F(X11Idle, StartsTheSaverAfterTheIdleTimeAndAgainAfterInput) {
    auto Watcher = StartWatcher();
    Move();
    const auto IdleFrom = TClock::now() + IdleTime;
    ASSERT_TRUE(WaitUntil([&] { return SaverShown(); }, ShowTimeout)) << Watcher->Stderr();
    const auto Shown = TClock::now();
    EXPECT_GE(Shown, IdleFrom);
    ASSERT_TRUE(WaitUntil([&] { return ScreenShowsFractal(); }, ShowTimeout));
    std::printf("[ figure ] idle moment to the saver's window %lld ms, to its picture %lld ms\n",
                Milliseconds(Shown - IdleFrom), Milliseconds(TClock::now() - IdleFrom));

    // The saver's first move only records where the pointer was.
    Move();
    Move();
    ASSERT_TRUE(WaitUntil([&] { return !SaverShown(); }, EndTimeout));
    const auto Back = TClock::now();
    ASSERT_TRUE(WaitUntil([&] { return SaverShown(); }, ShowTimeout)) << Watcher->Stderr();
    EXPECT_GE(TClock::now() - Back, IdleTime - 100ms);

    // One watcher per session, and it keeps none of the other modes out: its saver runs.
    EXPECT_TRUE(RunYstrelo({"--idle", "1"}, Environment(), EndTimeout).ExitedWith(0));
    // Ended with its saver, which saves the settings as at any end.
    const std::string Settings = FConfig.Path() + "/Ystrelo.ini";
    std::filesystem::remove(Settings);
    Watcher->Signal(SIGTERM);
    ExpectEndsWith(*Watcher, 0);
    EXPECT_FALSE(SaverShown());
    EXPECT_TRUE(std::filesystem::exists(Settings));
    EXPECT_EQ(Watcher->Stderr(), "");
}

TEST_F(X11Idle, ASaverThatFailsIsNotStartedAgainAtTheNextIdlePeriod) {
    auto Watcher = StartWatcher(IdleArgument, {"QT_QPA_PLATFORM=missing"});
    const auto PutOff = [&] {
        const std::string Said = Watcher->Stderr();
        return std::count(Said.begin(), Said.end(), '\n') == 2 &&
               Said.find("the saver ended with exit code 1") != std::string::npos;
    };
    ASSERT_TRUE(WaitUntil(PutOff, ShowTimeout)) << Watcher->Stderr();
    Move();
    EXPECT_FALSE(WaitUntil([&] { return !PutOff(); }, HeldOff)) << Watcher->Stderr();
    Watcher->Signal(SIGTERM);
    ExpectEndsWith(*Watcher, 0);
}

TEST_F(X11Idle, AnInhibitHoldsTheSaverOffUntilItsCallerLeaves) {
    auto Watcher = StartWatcher();
    HoldOffThenLeave("/org/freedesktop/ScreenSaver", *Watcher);
    Watcher->Signal(SIGTERM);
    ExpectEndsWith(*Watcher, 0);
}

TEST_F(X11Idle, BesideKDEsScreenLockerItStartsTheSaverAndHonoursKDEsInhibits) {
    // KDE's locker owns the inhibit name and runs no saver of ours: no reason to step aside.
    TChild Kde({YSTRELO_FAKE_KDE_SESSION}, Environment());
    ASSERT_TRUE(WaitUntil([&] { return Kde.Stderr() == "ready\n" || !Kde.Running(); }, ShowTimeout))
        << Kde.Stderr();
    auto Watcher = StartWatcher();
    Move();
    ASSERT_TRUE(WaitUntil([&] { return SaverShown(); }, ShowTimeout)) << Watcher->Stderr();
    Move();
    Move();
    ASSERT_TRUE(WaitUntil([&] { return !SaverShown(); }, EndTimeout));

    // A player's inhibit goes to KDE's locker, which hands it to PowerDevil's agent; KDE
    // starts the idle time again as the hold goes.
    HoldOffThenLeave("/ScreenSaver", *Watcher);
    Watcher->Signal(SIGTERM);
    ExpectEndsWith(*Watcher, 0);
    EXPECT_EQ(Watcher->Stderr(), "");
}

TEST_F(X11Idle, XScreenSaverRunningTakesOverIdleTime) {
    // A watcher already running steps aside when the daemon starts; one started later
    // does not start at all. Both say so in one line.
    auto Watcher = StartWatcher("10");
    FUser = TestUser();
    TTempDir Home;
    std::ofstream(Home.Path() + "/.xscreensaver")
        << "timeout: 0:30:00\nlock: False\nsplash: False\nfade: False\n";
    if (FUser != geteuid()) {
        ASSERT_EQ(chown(Home.Path().c_str(), FUser, FUser), 0);
        ASSERT_EQ(chown((Home.Path() + "/.xscreensaver").c_str(), FUser, FUser), 0);
    }
    std::vector<std::string> Daemon{"/usr/bin/xscreensaver", "--no-splash"};
    if (FUser != geteuid())
        Daemon.insert(Daemon.begin(), {"/usr/bin/setpriv", "--reuid=" + std::to_string(FUser),
                                       "--regid=" + std::to_string(FUser), "--clear-groups", "--"});
    TChild XScreenSaver(Daemon, {"DISPLAY=" + FXvfb.Display(), "HOME=" + Home.Path()},
                        {"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"});

    ExpectEndsWith(*Watcher, 0);
    const std::string Said = Watcher->Stderr();
    EXPECT_EQ(std::count(Said.begin(), Said.end(), '\n'), 1) << Said;
    EXPECT_NE(Said.find("XScreenSaver"), std::string::npos) << Said;

    const TRunResult Later = RunYstrelo({"--idle", IdleArgument}, Environment(), EndTimeout);
    EXPECT_TRUE(Later.ExitedWith(0)) << Later.Stderr;
    EXPECT_EQ(std::count(Later.Stderr.begin(), Later.Stderr.end(), '\n'), 1) << Later.Stderr;
    EXPECT_NE(Later.Stderr.find("XScreenSaver"), std::string::npos) << Later.Stderr;
    EXPECT_TRUE(XScreenSaver.Running()) << XScreenSaver.Stderr();
}
} // namespace
