// Every mode when its X server goes away (killed, or the connection dropped), and the
// dialog and the saver when it never answers: one line, exit code 1, promptly, and the
// guard free for the next start.
#include "host/InstanceGuard.h"
#include "platform/NamedMutex.h"
#include "tests/host/HostTestSupport.h"

#include <cstdio>
#include <cstdlib>
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
    }

    TTempDir FRuntime;
    TTempDir FConfig;
};

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
} // namespace

TEST_F(DisplayLoss, EveryModeEndsWithOneLineAndTheGuardFree) {
    struct TMode {
        const char* Name;
        std::vector<std::string> Arguments;
        bool InHostWindow;
    };
    const TMode Modes[] = {{"saver", {"/s"}, false},
                           {"dialog", {"/c"}, false},
                           {"preview", {"/p"}, true},
                           {"saver in a host's window", {"-s"}, true}};
    for (const TMode& Mode : Modes) {
        SCOPED_TRACE(Mode.Name);
        TXvfb Server;
        ASSERT_TRUE(Server.Started());
        TX11Client Client(Server.Display());
        xcb_window_t Host = 0;
        std::vector<std::string> Arguments = Mode.Arguments;
        std::vector<std::string> Env = Environment(Server.Display());
        if (Mode.InHostWindow) {
            Host = Client.CreateWindow(Client.Root(), 200, 150, 0x3060C0);
            Client.Map(Host);
            if (Arguments[0] == "/p")
                Arguments.push_back(std::to_string(Host));
            else
                Env = Environment(Server.Display(), std::to_string(Host));
        }
        auto Program = Start(Arguments, Env);
        ASSERT_TRUE(WaitUntil([&] { return Shown(Server.Display(), Host) || !Program->Running(); },
                              StartTimeout));
        ASSERT_TRUE(Program->Running()) << Program->Stderr();

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
    // A display number nobody serves any more.
    std::string Gone;
    {
        TXvfb Server;
        ASSERT_TRUE(Server.Started());
        Gone = Server.Display();
    }
    for (const char* Mode : {"/s", "/c"}) {
        SCOPED_TRACE(Mode);
        auto Env = Environment(Gone);
        Env.push_back("QT_QPA_PLATFORM=");
        const TRunResult Result = RunYstrelo({Mode}, Env);
        EXPECT_TRUE(Result.ExitedWith(1)) << Result.Status;
        EXPECT_EQ(Result.Stderr, "ystrelo: cannot open the X display\n");
    }
}
