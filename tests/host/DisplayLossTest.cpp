// Every mode when its X server goes away (killed, or the connection dropped), hangs, or
// is one we cannot paint on: one line, exit code 1, promptly, the guard free for the next
// start and no lock file left behind. And a host's window on another screen of the server.
#include "host/InstanceGuard.h"
#include "platform/NamedMutex.h"
#include "tests/host/HostTestSupport.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/wait.h>

namespace {
constexpr auto StartTimeout = 30s;
// Generous for sanitizer builds on a loaded machine; the figure is printed.
constexpr auto PromptEnd = 3s;
constexpr const char* LostLine = "ystrelo: lost the connection to the X server\n";

class DisplayLoss : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef __SANITIZE_THREAD__
        GTEST_SKIP() << "the program on an X server is not run under ThreadSanitizer";
#endif
    }

    std::vector<std::string> Environment(const std::string& Display,
                                         const std::string& HostWindow = "") const {
        return {"DISPLAY=" + Display, "XDG_RUNTIME_DIR=" + FRuntime.Path(),
                "XDG_CONFIG_HOME=" + FConfig.Path(), "XSCREENSAVER_WINDOW=" + HostWindow};
    }
    std::unique_ptr<TChild> Start(const std::vector<std::string>& Arguments,
                                  const std::vector<std::string>& Env) const {
        std::vector<std::string> Argv{YstreloBinary()};
        Argv.insert(Argv.end(), Arguments.begin(), Arguments.end());
        return std::make_unique<TChild>(Argv, Env, std::vector<std::string>{"QT_QPA_PLATFORM"});
    }
    void ExpectGuardFree() const {
        setenv("XDG_RUNTIME_DIR", FRuntime.Path().c_str(), 1);
        TNamedMutex Next(InstanceMutexName);
        EXPECT_EQ(Next.Result(), TNamedMutex::TResult::Owned);
        // The guard's own file stays for ever; a host window's goes with its copy.
        for (const auto& Entry : std::filesystem::directory_iterator(FRuntime.Path()))
            EXPECT_EQ(Entry.path().filename(), InstanceMutexName) << "left behind";
    }

    // The mode's program, once something of it shows on the server; Host, when set, is
    // handed over as the mode takes it.
    std::unique_ptr<TChild> StartShown(std::vector<std::string> Arguments,
                                       const std::string& Display, xcb_window_t Host) const;
    static xcb_window_t HostWindow(TX11Client& Client) {
        const xcb_window_t Host = Client.CreateWindow(Client.Root(), 200, 150, 0x3060C0);
        Client.Map(Host);
        return Host;
    }

    TTempDir FRuntime;
    TTempDir FConfig;
};

struct TMode {
    const char* Name;
    std::vector<std::string> Arguments;
    bool InHostWindow;
};
const TMode Modes[] = {{"saver", {"/s"}, false},
                       {"dialog", {"/c"}, false},
                       {"preview", {"/p"}, true},
                       {"saver in a host's window", {"-s"}, true}};

// Something of ours on the server: a window of ours, or our child in the host's window.
bool Shown(const std::string& Display, xcb_window_t Host) {
    if (Host)
        return RunCommand(Display, "xwininfo -children -id " + std::to_string(Host))
                   .find("1 child:") != std::string::npos;
    // Not the helper windows Qt makes while it connects ("Qt Selection Owner for ystrelo"):
    // a server killed then tests Qt's set-up, not the mode.
    return std::atoi(
               RunCommand(Display, "xwininfo -root -tree | grep -i ystrelo | grep -vc '\"Qt '")
                   .c_str()) > 0;
}

std::unique_ptr<TChild> DisplayLoss::StartShown(std::vector<std::string> Arguments,
                                                const std::string& Display,
                                                xcb_window_t Host) const {
    std::vector<std::string> Env = Environment(Display);
    if (Host && Arguments[0] == "/p")
        Arguments.push_back(std::to_string(Host));
    else if (Host)
        Env = Environment(Display, std::to_string(Host));
    auto Program = Start(Arguments, Env);
    const bool Started =
        WaitUntil([&] { return Shown(Display, Host) || !Program->Running(); }, StartTimeout);
    EXPECT_TRUE(Started && Program->Running()) << Program->Stderr();
    return Started && Program->Running() ? std::move(Program) : nullptr;
}
} // namespace

TEST_F(DisplayLoss, EveryModeEndsWithOneLineAndTheGuardFree) {
    for (const TMode& Mode : Modes) {
        SCOPED_TRACE(Mode.Name);
        TXvfb Server;
        ASSERT_TRUE(Server.Started());
        TX11Client Client(Server.Display());
        const xcb_window_t Host = Mode.InHostWindow ? HostWindow(Client) : 0;
        auto Program = StartShown(Mode.Arguments, Server.Display(), Host);
        ASSERT_TRUE(Program);

        const auto Killed = std::chrono::steady_clock::now();
        Server.Kill();
        const auto Status = Program->Wait(PromptEnd);
        std::printf("[ figure ] %s: the server gone to the end: %lld ms\n", Mode.Name,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - Killed)
                                               .count()));
        ASSERT_TRUE(Status.has_value()) << "did not end";
        EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 1) << "status " << *Status;
        EXPECT_EQ(Program->Stderr(), LostLine);
        ExpectGuardFree();
    }
}

TEST_F(DisplayLoss, AServerThatDoesNotAnswerIsOneLine) {
    const TNoXServer Nobody;
    for (const char* Mode : {"/s", "/c"}) {
        SCOPED_TRACE(Mode);
        auto Env = Environment(Nobody.Display());
        Env.push_back("QT_QPA_PLATFORM=");
        const TRunResult Result = RunYstrelo({Mode}, Env);
        EXPECT_TRUE(Result.ExitedWith(1)) << Result.Status;
        EXPECT_EQ(Result.Stderr, "ystrelo: cannot open the X display\n");
    }
}

TEST_F(DisplayLoss, ATerminationRequestEndsEveryModeWhileTheServerHangs) {
    // The settings were saved whole before; ending without saving must leave them so.
    const std::string Settings = "[TWinControlForm]\ntbBands.Position=40\n";
    std::ofstream(FConfig.Path() + "/Ystrelo.ini") << Settings;
    for (const TMode& Mode : Modes) {
        SCOPED_TRACE(Mode.Name);
        TXvfb Server;
        ASSERT_TRUE(Server.Started());
        TX11Client Client(Server.Display());
        const xcb_window_t Host = Mode.InHostWindow ? HostWindow(Client) : 0;
        auto Program = StartShown(Mode.Arguments, Server.Display(), Host);
        ASSERT_TRUE(Program);

        Server.Freeze();
        const auto Asked = std::chrono::steady_clock::now();
        Program->Signal(SIGTERM);
        const auto Status = Program->Wait(3s);
        const auto Took = std::chrono::steady_clock::now() - Asked;
        std::printf("[ figure ] %s: SIGTERM to the end with the server stopped: %lld ms\n",
                    Mode.Name,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(Took).count()));
        Server.Thaw();
        ASSERT_TRUE(Status.has_value()) << "did not end";
        EXPECT_LT(Took, 2s);
        // A mode that had something to save either got through before the server stopped
        // mattering, or says that it ended without saving; the others just end.
        ASSERT_TRUE(WIFEXITED(*Status)) << "status " << *Status;
        const bool Unsaved = WEXITSTATUS(*Status) == 1;
        EXPECT_TRUE(WEXITSTATUS(*Status) == 0 || (Unsaved && !Mode.InHostWindow))
            << "status " << *Status;
        EXPECT_EQ(Program->Stderr(),
                  Unsaved ? "ystrelo: the X server does not answer: ended without saving the "
                            "settings\n"
                          : "");
        const std::string After = ReadFile(FConfig.Path() + "/Ystrelo.ini");
        EXPECT_TRUE(After == Settings || After.find("tbBands.Position=40") != std::string::npos)
            << After;
        ExpectGuardFree();
    }
}

TEST_F(DisplayLoss, AScreenOf256ColoursIsOneLineInEveryMode) {
    TXvfb Server({"320x240x8"});
    ASSERT_TRUE(Server.Started());
    TX11Client Client(Server.Display());
    const xcb_window_t Host = HostWindow(Client);
    for (const TMode& Mode : Modes) {
        SCOPED_TRACE(Mode.Name);
        std::vector<std::string> Arguments = Mode.Arguments;
        std::vector<std::string> Env = Environment(Server.Display());
        if (Mode.InHostWindow && Arguments[0] == "/p")
            Arguments.push_back(std::to_string(Host));
        else if (Mode.InHostWindow)
            Env = Environment(Server.Display(), std::to_string(Host));
        Env.push_back("QT_QPA_PLATFORM=");
        const TRunResult Result = RunYstrelo(Arguments, Env);
        EXPECT_TRUE(Result.ExitedWith(1)) << Result.Status;
        EXPECT_EQ(Result.Stderr, Mode.InHostWindow
                                     ? "ystrelo: the window's visual is not a true-colour visual\n"
                                     : "ystrelo: the X screen's visual is not a true-colour "
                                       "visual\n");
    }
}

TEST_F(DisplayLoss, AHostWindowOnAnotherScreenIsPaintedThere) {
    TXvfb Server({"320x240x24", "400x300x24"});
    ASSERT_TRUE(Server.Started());
    // The host's window on screen 1, while DISPLAY names screen 0.
    TX11Client Client(Server.Display() + ".1");
    const xcb_window_t Host = HostWindow(Client);
    auto Program = Start({"-s"}, Environment(Server.Display(), std::to_string(Host)));
    EXPECT_TRUE(WaitUntil(
        [&] { return FractalShown(Client, Host, 200, 150, 0x3060C0) || !Program->Running(); },
        StartTimeout))
        << Program->Stderr();
    Program->Signal(SIGTERM);
    const auto Status = Program->Wait(PromptEnd);
    ASSERT_TRUE(Status.has_value());
    EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0) << "status " << *Status;
}
