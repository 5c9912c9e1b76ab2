// The preview mode as XScreenSaver runs it: through the shell with the window id in
// XSCREENSAVER_WINDOW (upper-case hexadecimal), as another user, niced, with a minimal
// environment; stopped with SIGTERM while the window may stay mapped or go a few
// milliseconds later; and never ending on its own while its window is visible.

#include "tests/host/HostTestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
constexpr int HostWidth = 200;
constexpr int HostHeight = 150;
constexpr std::uint32_t HostBackground = 0x3060C0;
constexpr int HackNice = 10; // what XScreenSaver's "nice" setting gives by default
constexpr auto PaintTimeout = 30s;
constexpr auto EndTimeout = 15s;
// "Promptly": a daemon that starts the next display mode right away must not find the
// old one still drawing for long. Generous, for sanitizer builds on a loaded machine.
constexpr auto PromptEnd = 3s;
// The line for XScreenSaver's programs list; the daemon puts "exec " before a command
// that it hands to the shell.
constexpr const char* ProgramsLine = "exec ystrelo -p \"$XSCREENSAVER_WINDOW\"";

std::string Hex(std::uint32_t Window) {
    char Text[16];
    std::snprintf(Text, sizeof Text, "0x%X", Window);
    return Text;
}

// A display mode started the way the daemon starts one: forked, niced, as another user
// when we are root, in a minimal environment, through /bin/sh.
class THack : public TProcess {
public:
    // Runs as User unless that is ours; then Session is its XDG_RUNTIME_DIR.
    THack(const std::string& Display, xcb_window_t Window, uid_t User, const std::string& Session) {
        const bool AsOtherUser = User != geteuid();
        const std::string Folder = fs::path(YstreloBinary()).parent_path().string();
        std::vector<std::string> Env{"DISPLAY=" + Display, "XSCREENSAVER_WINDOW=" + Hex(Window),
                                     "PATH=" + Folder + ":/usr/bin:/bin",
                                     // A home that is not there; no session variables.
                                     "HOME=/nonexistent"};
        if (!AsOtherUser)
            Env.push_back("XDG_RUNTIME_DIR=" + Session);
        std::vector<std::string> Argv{"/bin/sh", "-c", ProgramsLine};
        std::vector<char*> ArgvC, EnvC;
        for (auto& A : Argv)
            ArgvC.push_back(A.data());
        ArgvC.push_back(nullptr);
        for (auto& E : Env)
            EnvC.push_back(E.data());
        EnvC.push_back(nullptr);
        const std::string Err = FDir.Path() + "/stderr";
        // Created before the switch of user, so the child can write it either way.
        const int ErrFd = open(Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int NullFd = open("/dev/null", O_RDWR | O_CLOEXEC);
        FPid = fork();
        if (FPid == 0) {
            // Only async-signal-safe calls between fork and exec.
            dup2(NullFd, 0);
            dup2(NullFd, 1);
            dup2(ErrFd, 2);
            if (chdir("/") != 0)
                _exit(126);
            setpriority(PRIO_PROCESS, 0, HackNice);
            if (AsOtherUser &&
                (setgroups(0, nullptr) != 0 || setgid(User) != 0 || setuid(User) != 0))
                _exit(126);
            execve(ArgvC[0], ArgvC.data(), EnvC.data());
            _exit(127);
        }
        close(ErrFd);
        close(NullFd);
    }
};

class XScreenSaverHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FXvfb.Started()) << "Xvfb did not start";
        FClient = std::make_unique<TX11Client>(FXvfb.Display());
        FUser = geteuid();
        FUser = TestUser();
        if (FUser == geteuid())
            std::printf("[ note ] running the preview as ourselves: not root, or the build "
                        "folder is closed to other users\n");
    }

    void TearDown() override {
        // The guard's file is never removed by the program; this user was ours alone.
        if (FUser != geteuid())
            unlink(("/tmp/Korvanel-" + std::to_string(FUser)).c_str());
    }

    // The daemon's window: it names the screen in DISPLAY, as ":N.0".
    std::unique_ptr<THack> StartHack(xcb_window_t Window) {
        return std::make_unique<THack>(FXvfb.Display() + ".0", Window, FUser, FSession.Path());
    }

    // A mapped host window whose id, in upper-case hexadecimal, has letters in it.
    xcb_window_t NewHost(int Width = HostWidth, int Height = HostHeight) {
        for (;;) {
            const xcb_window_t Window =
                FClient->CreateWindow(FClient->Root(), Width, Height, HostBackground);
            if (Hex(Window).find_first_of("ABCDEF") != std::string::npos) {
                FClient->Map(Window);
                return Window;
            }
            FClient->Destroy(Window);
        }
    }

    bool FractalShown(xcb_window_t Host, int Width = HostWidth, int Height = HostHeight) {
        return ::FractalShown(*FClient, Host, Width, Height, HostBackground);
    }

    void WaitForFractal(THack& Hack, xcb_window_t Host, int Width = HostWidth,
                        int Height = HostHeight) {
        ASSERT_TRUE(WaitUntil([&] { return FractalShown(Host, Width, Height) || !Hack.Running(); },
                              PaintTimeout));
        ASSERT_TRUE(Hack.Running()) << Hack.Stderr();
    }

    static void ExpectCleanEnd(THack& Hack, std::chrono::milliseconds Within = EndTimeout) {
        const auto Status = Hack.Wait(Within);
        ASSERT_TRUE(Status.has_value()) << "the preview did not end in time";
        EXPECT_TRUE(WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0) << "status " << *Status;
        EXPECT_EQ(Hack.Stderr(), "");
    }

    TXvfb FXvfb;
    std::unique_ptr<TX11Client> FClient;
    uid_t FUser = 0;
    TTempDir FSession; // used only when we run the preview as ourselves
};
} // namespace

TEST_F(XScreenSaverHost, PaintsFromTheProgramsLineAsAnotherUserWithoutHomeOrSession) {
    const xcb_window_t Host = NewHost();
    auto Hack = StartHack(Host);
    WaitForFractal(*Hack, Host);
    // Niced as the daemon asked: the program must not undo it.
    errno = 0;
    EXPECT_EQ(getpriority(PRIO_PROCESS, Hack->Pid()), HackNice);

    // The daemon starts one copy per monitor: each paints its own window. Without
    // XDG_RUNTIME_DIR the guard still holds, for the same user in the same environment:
    // a second copy in the same window ends, quietly.
    const xcb_window_t Other = NewHost();
    auto Second = StartHack(Other);
    WaitForFractal(*Second, Other);
    auto SameWindow = StartHack(Other);
    ExpectCleanEnd(*SameWindow);
    EXPECT_TRUE(Hack->Running());
    EXPECT_TRUE(Second->Running());

    Hack->Signal(SIGTERM);
    Second->Signal(SIGTERM);
    ExpectCleanEnd(*Hack, PromptEnd);
    ExpectCleanEnd(*Second, PromptEnd);
}

TEST_F(XScreenSaverHost, SigtermAloneEndsItPromptlyWhileTheWindowStaysMapped) {
    // The whole screen: the painter has plenty of work in hand when the signal comes.
    constexpr int Width = 640, Height = 480;
    for (auto Delay : {0ms, 150ms, 600ms}) {
        SCOPED_TRACE(std::to_string(Delay.count()) + " ms after the first picture");
        const xcb_window_t Host = NewHost(Width, Height);
        auto Hack = StartHack(Host);
        WaitForFractal(*Hack, Host, Width, Height);
        std::this_thread::sleep_for(Delay);
        const auto Start = std::chrono::steady_clock::now();
        Hack->Signal(SIGTERM);
        ExpectCleanEnd(*Hack, PromptEnd);
        const auto Took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - Start);
        std::printf("[ figure ] SIGTERM to exit: %lld ms\n", static_cast<long long>(Took.count()));
        // The host's window is still mapped and still ours to draw on for the next mode.
        FClient->Destroy(Host);
    }
}

TEST_F(XScreenSaverHost, EndsCleanlyWhenTheWindowGoesMillisecondsAfterSigterm) {
    for (auto Gap : {0ms, 1ms, 5ms, 20ms}) {
        SCOPED_TRACE(std::to_string(Gap.count()) + " ms between signal and destruction");
        const xcb_window_t Host = NewHost();
        auto Hack = StartHack(Host);
        WaitForFractal(*Hack, Host);
        Hack->Signal(SIGTERM);
        std::this_thread::sleep_for(Gap);
        FClient->Destroy(Host);
        // No complaint about the vanished window on stderr, which the daemon may show.
        ExpectCleanEnd(*Hack, PromptEnd);
    }
}

TEST_F(XScreenSaverHost, TheNextModeOnTheSameWindowStartsWhileTheOldOneEnds) {
    // Cycling: the daemon signals the old mode and starts the next one in the same
    // window at once, without waiting for the old one to go.
    const xcb_window_t Host = NewHost();
    auto Old = StartHack(Host);
    WaitForFractal(*Old, Host);
    Old->Signal(SIGTERM);
    auto Next = StartHack(Host);
    ExpectCleanEnd(*Old, PromptEnd);
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(Next->Running()) << "the next mode ended on its own: " << Next->Stderr();
    EXPECT_TRUE(WaitUntil([&] { return FractalShown(Host); }, PaintTimeout));
    Next->Signal(SIGTERM);
    ExpectCleanEnd(*Next, PromptEnd);
}

TEST_F(XScreenSaverHost, NeverEndsOnItsOwnWhileItsWindowIsVisible) {
    const xcb_window_t Host = NewHost();
    auto Hack = StartHack(Host);
    WaitForFractal(*Hack, Host);

    // The unlock dialog covers part of the saver window and goes again: the window stays
    // viewable throughout, and the uncovered part is exposed.
    const xcb_window_t Dialog =
        FClient->CreateWindow(FClient->Root(), HostWidth / 2, HostHeight / 2, 0xE0E0E0);
    FClient->Map(Dialog);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(Hack->Running()) << "covered";
    FClient->Unmap(Dialog);
    FClient->Destroy(Dialog);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(Hack->Running()) << "uncovered";

    // Several views later it still runs and still paints.
    const auto Before = FClient->Pixels(Host, HostWidth, HostHeight);
    EXPECT_TRUE(WaitUntil(
        [&] { return FClient->Pixels(Host, HostWidth, HostHeight) != Before || !Hack->Running(); },
        PaintTimeout));
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(Hack->Running()) << Hack->Stderr();
    EXPECT_TRUE(FractalShown(Host));

    Hack->Signal(SIGTERM);
    ExpectCleanEnd(*Hack, PromptEnd);
}

TEST_F(XScreenSaverHost, SigtermDuringStartUpEndsItQuietly) {
    // The user may come back the moment the saver starts. Before the program has set up
    // its signal handling the default action ends it; after that it exits with 0. Either
    // way nothing crashes, nothing is printed and nothing lingers.
    for (auto Delay : {0ms, 2ms, 10ms, 30ms, 60ms, 120ms}) {
        SCOPED_TRACE(std::to_string(Delay.count()) + " ms after the start");
        const xcb_window_t Host = NewHost();
        auto Hack = StartHack(Host);
        std::this_thread::sleep_for(Delay);
        Hack->Signal(SIGTERM);
        const auto Status = Hack->Wait(PromptEnd);
        ASSERT_TRUE(Status.has_value()) << "did not end";
        EXPECT_TRUE((WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0) ||
                    (WIFSIGNALED(*Status) && WTERMSIG(*Status) == SIGTERM))
            << "status " << *Status;
        EXPECT_EQ(Hack->Stderr(), "");
        FClient->Destroy(Host);
    }
}

TEST_F(XScreenSaverHost, SigtermWhileWaitingForTheWindowToShowEndsIt) {
    // Started on a window that is not mapped yet: it waits, and a signal ends the wait.
    const xcb_window_t Host =
        FClient->CreateWindow(FClient->Root(), HostWidth, HostHeight, HostBackground);
    auto Hack = StartHack(Host);
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(Hack->Running()) << Hack->Stderr();
    Hack->Signal(SIGTERM);
    ExpectCleanEnd(*Hack, PromptEnd);
}
