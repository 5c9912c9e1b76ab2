// The saver and the configuration dialog as users meet them: the real program on an X
// server of the test's own, driven from outside with xdotool and checked through the
// server's pixels.
#include "host/InstanceGuard.h"
#include "platform/NamedMutex.h"
#include "tests/host/HostTestSupport.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sstream>
#include <sys/wait.h>

namespace {
constexpr int ScreenWidth = 640; // the test server's screen
constexpr int ScreenHeight = 480;
constexpr std::size_t FractalShades = 16;
constexpr auto ShowTimeout = 20s; // generous for sanitizer builds on a loaded machine
constexpr auto PaintTimeout = 30s;
constexpr auto EndTimeout = 15s;
// Time given to the program to react to input that must not end it.
constexpr auto SettleTime = 400ms;
// A painter that rests is seen to within this.
constexpr auto RestWithin = 10s;

struct TGeometry {
    int X = -1, Y = -1, Width = 0, Height = 0;
};

// The first viewable window whose name starts with Name; 0 if none.
unsigned long FindWindow(const std::string& Display, const std::string& Name) {
    std::istringstream Ids(
        RunCommand(Display, "xdotool search --onlyvisible --name '^" + Name + "' 2>/dev/null"));
    unsigned long Id = 0;
    Ids >> Id;
    return Id;
}

class SaverEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef __SANITIZE_THREAD__
        // On an X server Qt starts threads of its own (the accessibility bus, a thread
        // pool) in libraries not built for ThreadSanitizer, whose reports would end the
        // program. The saver's own threading runs under it in SaverStartup and
        // SaverWindow, on Qt's offscreen platform.
        GTEST_SKIP() << "the program on an X server is not run under ThreadSanitizer";
#endif
        ASSERT_TRUE(FXvfb.Started()) << "Xvfb did not start";
    }

    std::vector<std::string> Environment() const {
        return {"DISPLAY=" + FXvfb.Display(), "XDG_RUNTIME_DIR=" + FRuntime.Path(),
                "XDG_CONFIG_HOME=" + FConfig.Path()};
    }
    std::unique_ptr<TChild> Start(const std::vector<std::string>& Arguments,
                                  const std::vector<std::string>& Extra = {}) {
        std::vector<std::string> Argv{YstreloBinary()};
        Argv.insert(Argv.end(), Arguments.begin(), Arguments.end());
        std::vector<std::string> Set = Environment();
        Set.insert(Set.end(), Extra.begin(), Extra.end());
        // The tests themselves run headless; the program must use the test server.
        return std::make_unique<TChild>(Argv, Set, std::vector<std::string>{"QT_QPA_PLATFORM"});
    }
    std::string SettingsFile() const {
        return FConfig.Path() + "/Ystrelo.ini";
    }

    // Standard output of one xdotool command on our server.
    std::string Xdotool(const std::string& Arguments) const {
        return RunCommand(FXvfb.Display(), "xdotool " + Arguments + " 2>/dev/null");
    }
    // The first viewable window whose name starts with Name; 0 if none.
    unsigned long FindWindow(const std::string& Name) const {
        return ::FindWindow(FXvfb.Display(), Name);
    }
    unsigned long WaitForWindow(const std::string& Name) const {
        unsigned long Id = 0;
        WaitUntil([&] { return (Id = FindWindow(Name)) != 0; }, ShowTimeout);
        return Id;
    }
    TGeometry Geometry(unsigned long Window) const {
        TGeometry Result;
        std::istringstream Lines(Xdotool("getwindowgeometry --shell " + std::to_string(Window)));
        std::string Line;
        while (std::getline(Lines, Line)) {
            const auto Equals = Line.find('=');
            if (Equals == std::string::npos)
                continue;
            const std::string Key = Line.substr(0, Equals);
            const int Value = std::atoi(Line.c_str() + Equals + 1);
            if (Key == "X")
                Result.X = Value;
            else if (Key == "Y")
                Result.Y = Value;
            else if (Key == "WIDTH")
                Result.Width = Value;
            else if (Key == "HEIGHT")
                Result.Height = Value;
        }
        return Result;
    }
    bool Focused(unsigned long Window) const {
        return std::strtoul(Xdotool("getwindowfocus").c_str(), nullptr, 10) == Window;
    }
    bool ScreenShowsFractal() const {
        TX11Client Client(FXvfb.Display());
        const auto Pixels = Client.Pixels(Client.Root(), ScreenWidth, ScreenHeight);
        return std::set<std::uint32_t>(Pixels.begin(), Pixels.end()).size() >= FractalShades;
    }
    // A saver on screen, covering it and with the keyboard focus.
    unsigned long StartSaver(std::unique_ptr<TChild>& Saver) {
        Saver = Start({"/s"});
        const unsigned long Window = WaitForWindow("Primary");
        EXPECT_NE(Window, 0u) << Saver->Stderr();
        EXPECT_TRUE(WaitUntil([&] { return Focused(Window); }, ShowTimeout));
        return Window;
    }
    void ExpectEndsCleanly(TChild& Child) {
        const auto Status = Child.Wait(EndTimeout);
        ASSERT_TRUE(Status.has_value()) << "still running";
        EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0) << "status " << *Status << "\n"
                                                                     << Child.Stderr();
        EXPECT_TRUE(std::filesystem::exists(SettingsFile()));
    }
    void ExpectStillRunning(TChild& Child, const char* After) {
        std::this_thread::sleep_for(SettleTime);
        EXPECT_TRUE(Child.Running()) << "ended after " << After;
    }
    // What a window manager's close button sends.
    void AskToClose(unsigned long Window) const {
        xcb_connection_t* Connection = xcb_connect(FXvfb.Display().c_str(), nullptr);
        const auto Atom = [Connection](const char* Name) {
            auto* Reply = xcb_intern_atom_reply(
                Connection, xcb_intern_atom(Connection, 0, std::strlen(Name), Name), nullptr);
            const xcb_atom_t Result = Reply ? Reply->atom : xcb_atom_t{XCB_ATOM_NONE};
            free(Reply);
            return Result;
        };
        xcb_client_message_event_t Event{};
        Event.response_type = XCB_CLIENT_MESSAGE;
        Event.format = 32;
        Event.window = static_cast<xcb_window_t>(Window);
        Event.type = Atom("WM_PROTOCOLS");
        Event.data.data32[0] = Atom("WM_DELETE_WINDOW");
        Event.data.data32[1] = XCB_CURRENT_TIME;
        // A round trip before disconnecting: a request flushed just before the connection
        // closes was seen to be dropped.
        free(xcb_request_check(
            Connection, xcb_send_event_checked(Connection, 0, Event.window, XCB_EVENT_MASK_NO_EVENT,
                                               reinterpret_cast<const char*>(&Event))));
        xcb_disconnect(Connection);
    }

    TXvfb FXvfb;
    TTempDir FRuntime;
    TTempDir FConfig;
};

TEST_F(SaverEndToEnd, CoversTheScreenAndPaintsTheZoom) {
    std::unique_ptr<TChild> Saver;
    const unsigned long Window = StartSaver(Saver);
    const TGeometry Placed = Geometry(Window);
    EXPECT_EQ(Placed.X, 0);
    EXPECT_EQ(Placed.Y, 0);
    EXPECT_EQ(Placed.Width, ScreenWidth);
    EXPECT_EQ(Placed.Height, ScreenHeight);
    EXPECT_TRUE(WaitUntil([&] { return ScreenShowsFractal(); }, PaintTimeout));
    Saver->Signal(SIGTERM);
    ExpectEndsCleanly(*Saver);
}

TEST_F(SaverEndToEnd, FirstMouseEventOnlyRecordsAndSixPixelsEnd) {
    std::unique_ptr<TChild> Saver;
    StartSaver(Saver);
    Xdotool("mousemove 100 100");
    ExpectStillRunning(*Saver, "the first mouse event");
    Xdotool("mousemove 105 95");
    Xdotool("mousemove 95 105");
    Xdotool("mousemove 100 100");
    ExpectStillRunning(*Saver, "moves of 5 pixels");
    Xdotool("mousemove 106 100");
    ExpectEndsCleanly(*Saver);
}

TEST_F(SaverEndToEnd, MovesQueuedWhileItWasBusyStillEndIt) {
    // A saver busy at start-up (a long settings file, a loaded machine) finds the moves
    // of a user who came back queued: the first only records, the next ends it. Merged
    // into one event they would count as the first alone.
    std::unique_ptr<TChild> Saver;
    StartSaver(Saver);
    Saver->Signal(SIGSTOP);
    Xdotool("mousemove 100 100");
    Xdotool("mousemove 300 300");
    Saver->Signal(SIGCONT);
    ExpectEndsCleanly(*Saver);
}

TEST_F(SaverEndToEnd, ThePainterRestsWhileAnotherProgramsWindowCoversTheSaver) {
    std::unique_ptr<TChild> Saver;
    StartSaver(Saver);
    // A locker's window over the whole screen, as window managers leave it.
    TX11Client Locker(FXvfb.Display());
    const xcb_window_t Cover =
        Locker.CreateWindow(Locker.Root(), ScreenWidth, ScreenHeight, 0, true);
    TPainterWatch(Saver->Pid())
        .ExpectRestWhileHidden([&] { Locker.Map(Cover); }, [&] { Locker.Unmap(Cover); },
                               PaintTimeout, RestWithin);
    Saver->Signal(SIGTERM);
    ExpectEndsCleanly(*Saver);
}

TEST_F(SaverEndToEnd, ThePainterRestsWhileTheServersScreenSaverBlanksTheScreen) {
    std::unique_ptr<TChild> Saver;
    StartSaver(Saver);
    TPainterWatch(Saver->Pid())
        .ExpectRestWhileHidden([&] { RunCommand(FXvfb.Display(), "xset s activate"); },
                               [&] { RunCommand(FXvfb.Display(), "xset s reset"); },
                               PaintTimeout, RestWithin);
    Saver->Signal(SIGTERM);
    ExpectEndsCleanly(*Saver);
}

TEST_F(SaverEndToEnd, TheGuidesIdleLauncherLineStartsIt) {
    // The user guide's line for idle launchers, with this build's program first on the
    // PATH, told to start the saver now instead of after its idle time.
    const std::string Guide = ReadFile(std::string(YSTRELO_SOURCE_DIR) + "/README.md");
    const auto At = Guide.find("\nxss-lock ");
    ASSERT_NE(At, std::string::npos);
    std::string Line = Guide.substr(At + 1, Guide.find('\n', At + 1) - At - 1);
    ASSERT_EQ(Line.substr(Line.size() - 2), " &");
    Line.resize(Line.size() - 2);
    // xss-lock aborts without a logind session to mark idle and locked: a system bus of
    // the test's own, with a stand-in logind on it.
    const TBusDaemon Bus;
    const std::string Address = Bus.Address(ShowTimeout);
    ASSERT_FALSE(Address.empty()) << Bus.Stderr();
    const std::string SystemBus = "DBUS_SYSTEM_BUS_ADDRESS=" + Address;
    TChild Login({YSTRELO_FAKE_LOGIND}, {SystemBus});
    ASSERT_TRUE(WaitUntil([&] { return Login.Stderr().starts_with("ready\n"); }, ShowTimeout))
        << Login.Stderr();
    auto Env = Environment();
    Env.push_back("PATH=" + std::filesystem::path(YstreloBinary()).parent_path().string() +
                  ":/usr/bin:/bin");
    Env.push_back("QT_QPA_PLATFORM=");
    Env.push_back(SystemBus);
    TChild Launcher({"/bin/sh", "-c", "exec " + Line}, Env);
    // Any screen-saver event before xss-lock knows its session would abort it.
    ASSERT_TRUE(
        WaitUntil([&] { return Login.Stderr().find("\nGetSessionByPID\n") != std::string::npos; },
                  ShowTimeout))
        << Launcher.Stderr();
    // Activated until the saver shows, in case xss-lock is not yet the server's screen
    // saver; while its saver runs it starts no second one.
    unsigned long Window = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            RunCommand(FXvfb.Display(), "xset s activate");
            return WaitUntil([&] { return (Window = FindWindow("Primary")) != 0; }, 500ms);
        },
        ShowTimeout))
        << Launcher.Stderr();
    ASSERT_TRUE(WaitUntil([&] { return Focused(Window); }, ShowTimeout));
    Xdotool("key a");
    EXPECT_TRUE(WaitUntil([&] { return FindWindow("Primary") == 0; }, EndTimeout));
    EXPECT_TRUE(Launcher.Running()) << Launcher.Stderr();
    Launcher.Signal(SIGTERM);
}

TEST_F(SaverEndToEnd, CharacterKeyEndsItShiftDoesNot) {
    std::unique_ptr<TChild> Saver;
    StartSaver(Saver);
    Xdotool("key shift");
    Xdotool("key F1");
    ExpectStillRunning(*Saver, "Shift and F1");
    Xdotool("key a");
    ExpectEndsCleanly(*Saver);
}

TEST_F(SaverEndToEnd, TerminationSignalsEndItInOrder) {
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::filesystem::remove(SettingsFile());
        std::unique_ptr<TChild> Saver;
        StartSaver(Saver);
        Saver->Signal(Signal);
        ExpectEndsCleanly(*Saver);
        // The guard is free again: a new saver starts.
    }
}

TEST_F(SaverEndToEnd, APlatformPluginQtFallsBackFromIsNotMentioned) {
    // As in a Wayland session without Qt's Wayland plugin: Qt tries the next one.
    auto Saver = Start({"/s"}, {"QT_QPA_PLATFORM=missing;xcb"});
    ASSERT_NE(WaitForWindow("Primary"), 0u) << Saver->Stderr();
    Saver->Signal(SIGTERM);
    ExpectEndsCleanly(*Saver);
    EXPECT_EQ(Saver->Stderr(), "");
}

TEST_F(SaverEndToEnd, ASaveThatFailsAtTheEndIsOneLineAndExitOne) {
    // A settings folder that cannot be made: below a regular file.
    const std::string Blocker = FConfig.Path() + "/file";
    std::ofstream(Blocker) << "not a folder";
    for (const char* Mode : {"/s", "/c"}) {
        SCOPED_TRACE(Mode);
        std::vector<std::string> Env{"DISPLAY=" + FXvfb.Display(),
                                     "XDG_RUNTIME_DIR=" + FRuntime.Path(),
                                     "XDG_CONFIG_HOME=" + Blocker + "/config"};
        TChild Program({YstreloBinary(), Mode}, Env, {"QT_QPA_PLATFORM"});
        ASSERT_NE(WaitForWindow(Mode == std::string("/s") ? "Primary" : "Ystrelo Configuration"),
                  0u)
            << Program.Stderr();
        Program.Signal(SIGTERM);
        // No message box after the windows are gone: it would hold the process, and the
        // guard, until somebody came.
        const auto Status = Program.Wait(EndTimeout);
        ASSERT_TRUE(Status.has_value()) << "still running";
        EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 1) << "status " << *Status;
        const std::string Said = Program.Stderr();
        EXPECT_EQ(std::count(Said.begin(), Said.end(), '\n'), 1) << Said;
        EXPECT_EQ(Said.rfind("ystrelo: Unable to write to ", 0), 0u) << Said;
        // The guard is free for the next start.
        setenv("XDG_RUNTIME_DIR", FRuntime.Path().c_str(), 1);
        EXPECT_EQ(TNamedMutex(InstanceMutexName).Result(), TNamedMutex::TResult::Owned);
    }
}

TEST_F(SaverEndToEnd, SecondInstanceEndsAtOnce) {
    std::unique_ptr<TChild> Saver;
    StartSaver(Saver);
    const TRunResult Second = RunYstrelo({"/s"}, Environment(), EndTimeout);
    EXPECT_TRUE(Second.ExitedWith(0)) << Second.Stderr;
    EXPECT_TRUE(Saver->Running());
    Saver->Signal(SIGTERM);
    ExpectEndsCleanly(*Saver);
}

TEST_F(SaverEndToEnd, ConfigureModeShowsTheDialogAndClosingWritesTheSettings) {
    auto Dialog = Start({});
    const unsigned long Window = WaitForWindow("Ystrelo Configuration");
    ASSERT_NE(Window, 0u) << Dialog->Stderr();
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    // The live preview paints: the dialog is up and running its loop. (Qt drops a close
    // request that arrives before it has seen its window mapped.)
    EXPECT_TRUE(WaitUntil([&] { return ScreenShowsFractal(); }, PaintTimeout));
    AskToClose(Window);
    ExpectEndsCleanly(*Dialog);
}
} // namespace

// A bare X server resets itself when its last client leaves, and refuses connections while
// it does. The saver, often its only client, must start however busy the machine is.
TEST(SaverStart, StartsAsTheOnlyClientOfABareServerOnABusyMachine) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the program on an X server is not run under ThreadSanitizer";
#endif
    constexpr int Starts = 12;
    TTempDir Runtime, Config;
    std::vector<std::unique_ptr<TChild>> Busy;
    for (int Loop = 0; Loop < 2; ++Loop)
        Busy.push_back(std::make_unique<TChild>(std::vector<std::string>{"/usr/bin/nice", "-n",
                                                                         "19", "/bin/sh", "-c",
                                                                         "while :; do :; done"},
                                                std::vector<std::string>{}));
    // Qt's X event thread runs once Qt holds its connection. Until then no client of the
    // test's own may come and go: its leaving would reset the server by itself. The saver
    // is ended once it shows, as a user's return would.
    const auto QtConnected = [](pid_t Pid) { return HasThread(Pid, "QXcbEventQueue"); };
    for (int Start = 0; Start < Starts; ++Start) {
        // A fresh server each time: the last run's end resets it too, and a start during
        // that reset is refused, truly.
        TXvfb Server(ScreenWidth, ScreenHeight, TXvfb::TReset::WhenIdle);
        ASSERT_TRUE(Server.Started());
        TChild Saver({YstreloBinary(), "/s"},
                     {"DISPLAY=" + Server.Display(), "XDG_RUNTIME_DIR=" + Runtime.Path(),
                      "XDG_CONFIG_HOME=" + Config.Path()},
                     {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY"});
        ASSERT_TRUE(
            WaitUntil([&] { return !Saver.Running() || QtConnected(Saver.Pid()); }, ShowTimeout));
        ASSERT_TRUE(Saver.Running()) << "start " << Start << ": " << Saver.Stderr();
        Saver.Signal(SIGTERM);
        const auto Status = Saver.Wait(EndTimeout);
        ASSERT_TRUE(ExitedWith(Status, 0)) << Saver.Stderr();
        EXPECT_EQ(Saver.Stderr(), "");
    }
}
