#include "host/InstanceGuard.h"
#include "config/IdleControl.h"
#include "engine/SaverPaint.h"
#include "host/StartupState.h"
#include "platform/NamedMutex.h"
#include "tests/host/HostTestSupport.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {
// Points the guard of this process at a folder of the test's own.
class InstanceGuard : public ::testing::Test {
protected:
    void SetUp() override {
        const char* Old = std::getenv("XDG_RUNTIME_DIR");
        if (Old)
            FOld = Old;
        setenv("XDG_RUNTIME_DIR", FRuntime.Path().c_str(), 1);
    }
    void TearDown() override {
        ReleaseInstance();
        if (FOld)
            setenv("XDG_RUNTIME_DIR", FOld->c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
    std::vector<std::string> ChildEnv() const {
        return {"XDG_RUNTIME_DIR=" + FRuntime.Path(), "XDG_CONFIG_HOME=" + FConfig.Path()};
    }

    TTempDir FRuntime;
    TTempDir FConfig;
    std::optional<std::string> FOld;
};
} // namespace

TEST(NamedMutexPath, RuntimeFolderOrPerUserFallback) {
    const TTempDir Runtime;
    const uid_t Me = getuid();
    const std::string Fallback = "/tmp/Korvanel-" + std::to_string(Me);
    EXPECT_EQ(TNamedMutex::LockPath("Korvanel", Runtime.Path().c_str(), Me),
              Runtime.Path() + "/Korvanel");
    EXPECT_EQ(TNamedMutex::LockPath("Korvanel", nullptr, Me), Fallback);
    EXPECT_EQ(TNamedMutex::LockPath("Korvanel", "", Me), Fallback);
    // A relative folder is not trusted: it would depend on the working directory. Nor is
    // one that is no folder of the user's.
    for (const char* Unusable : {"run", "/etc/passwd"})
        EXPECT_EQ(TNamedMutex::LockPath("Korvanel", Unusable, Me), Fallback) << Unusable;
    EXPECT_EQ(TNamedMutex::LockPath("Korvanel", Runtime.Path().c_str(), Me + 1),
              "/tmp/Korvanel-" + std::to_string(Me + 1));
}

TEST_F(InstanceGuard, OneHolderAtATimeAndReleasedByEveryOwner) {
    ASSERT_TRUE(AcquireInstance());
    ASSERT_NE(InstanceMutex, nullptr);
    {
        TNamedMutex Second(InstanceMutexName);
        EXPECT_EQ(Second.Result(), TNamedMutex::TResult::AlreadyExists);
    }
    // A refused attempt leaves no handle behind and takes nothing from the holder.
    EXPECT_FALSE(AcquireInstance());
    EXPECT_EQ(InstanceMutex, nullptr);
    ReleaseInstance();
    ASSERT_TRUE(AcquireInstance());
    ASSERT_NE(InstanceMutex, nullptr);
    ReleaseInstance();
    TNamedMutex Again(InstanceMutexName);
    EXPECT_EQ(Again.Result(), TNamedMutex::TResult::Owned);
    Again.Release();
    Again.Release();
}

TEST_F(InstanceGuard, RunsUnguardedWhenNoLockCanBeMade) {
    // The name taken by a folder.
    std::filesystem::create_directory(FRuntime.Path() + "/" + InstanceMutexName);
    TNamedMutex Mutex(InstanceMutexName);
    EXPECT_EQ(Mutex.Result(), TNamedMutex::TResult::Unavailable);
    EXPECT_TRUE(AcquireInstance());
    EXPECT_EQ(InstanceMutex, nullptr);
}

TEST_F(InstanceGuard, SecondProcessEndsAtOnceAndSilently) {
    // Alone, a range error makes the program fail loudly...
    const TRunResult Alone = RunYstrelo({"/p", "4294967296"}, ChildEnv());
    EXPECT_FALSE(Alone.ExitedWith(0));
    EXPECT_NE(Alone.Stderr.find("Range check error"), std::string::npos) << Alone.Stderr;
    EXPECT_EQ(Alone.Stderr.find('\n'), Alone.Stderr.size() - 1) << "one line: " << Alone.Stderr;

    // ...but behind another holder of the guard, whatever the arguments, it does
    // nothing at all: not even the command line is acted on.
    TNamedMutex Holder(InstanceMutexName);
    ASSERT_EQ(Holder.Result(), TNamedMutex::TResult::Owned);
    for (const std::vector<std::string>& Arguments :
         {std::vector<std::string>{"/p", "4294967296"}, {"/s"}, {"/c"}, {}}) {
        const TRunResult Second = RunYstrelo(Arguments, ChildEnv());
        EXPECT_TRUE(Second.ExitedWith(0));
        EXPECT_EQ(Second.Stderr, "");
    }
    Holder.Release();

    // The program's own hold ends with it: after an error exit the name is free again,
    // and no lock file is left behind.
    EXPECT_FALSE(RunYstrelo({"/p", "-1"}, ChildEnv()).ExitedWith(0));
    EXPECT_TRUE(std::filesystem::is_empty(FRuntime.Path()));
    TNamedMutex After(InstanceMutexName);
    EXPECT_EQ(After.Result(), TNamedMutex::TResult::Owned);
}

TEST_F(InstanceGuard, OneWatcherPerSessionWhenTheRuntimeFolderIsUnusable) {
    // Set, but naming no folder: the guards meet in /tmp, as when it is unset.
    const std::string Missing = FRuntime.Path() + "/missing";
    setenv("XDG_RUNTIME_DIR", Missing.c_str(), 1);
    TNamedMutex First(IdleMutexName);
    ASSERT_EQ(First.Result(), TNamedMutex::TResult::Owned);
    const std::vector<std::string> Env{"XDG_RUNTIME_DIR=" + Missing,
                                       "XDG_CONFIG_HOME=" + FConfig.Path(),
                                       "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=offscreen"};
    // A saver that ran meanwhile (the first watcher's) leaves the folder missing: made, as
    // the toolkit would, it would take the next watcher's guard.
    TChild Saver({YstreloBinary(), "/s"}, Env);
    ASSERT_TRUE(
        WaitUntil([&] { return HasThread(Saver.Pid(), TSaverPaint::PainterThreadName); }, 20s))
        << Saver.Stderr();
    Saver.Signal(SIGTERM);
    EXPECT_TRUE(ExitedWith(Saver.Wait(20s), 0)) << Saver.Stderr();
    EXPECT_FALSE(std::filesystem::exists(Missing));
    // Without the guard it would look for the desktop's idle clock, and find none here.
    const TRunResult Second = RunYstrelo({"--idle", "10"}, Env);
    EXPECT_TRUE(Second.ExitedWith(0)) << Second.Status;
    EXPECT_EQ(Second.Stderr, "");
}

TEST_F(InstanceGuard, CopiesInHostWindowsShareItAndEachWindowHasOneCopy) {
    const std::string Window = ":0-0x40000e";
    ASSERT_EQ(AcquireWindowInstance(Window), TWindowGuard::Held);
    // Another copy in another window runs beside us; one in our window does not.
    {
        TNamedMutex OtherShare(InstanceMutexName, TNamedMutex::TMode::Shared);
        EXPECT_EQ(OtherShare.Result(), TNamedMutex::TResult::Owned);
        TNamedMutex SameWindow("Korvanel-" + Window);
        EXPECT_EQ(SameWindow.Result(), TNamedMutex::TResult::AlreadyExists);
    }
    // The saver with windows of its own and the dialog still find the guard held.
    {
        TNamedMutex Exclusive(InstanceMutexName);
        EXPECT_EQ(Exclusive.Result(), TNamedMutex::TResult::AlreadyExists);
    }
    // A shared holder that goes first leaves the file to the others.
    const std::string GuardFile = FRuntime.Path() + "/" + InstanceMutexName;
    {
        TNamedMutex Early(InstanceMutexName, TNamedMutex::TMode::Shared);
        ASSERT_EQ(Early.Result(), TNamedMutex::TResult::Owned);
    }
    EXPECT_TRUE(std::filesystem::exists(GuardFile));
    EXPECT_EQ(TNamedMutex(InstanceMutexName).Result(), TNamedMutex::TResult::AlreadyExists);
    // Giving the window up (as soon as the copy stops) leaves no file behind and lets
    // the next copy in at once, while the instance guard is still shared.
    ReleaseWindowInstance();
    EXPECT_FALSE(std::filesystem::exists(FRuntime.Path() + "/Korvanel-" + Window));
    TNamedMutex Next("Korvanel-" + Window);
    EXPECT_EQ(Next.Result(), TNamedMutex::TResult::Owned);
    Next.Release();
    ReleaseInstance();
    EXPECT_TRUE(std::filesystem::is_empty(FRuntime.Path()));

    // Behind the saver or the dialog a copy waits, and keeps its window meanwhile.
    TNamedMutex Dialog(InstanceMutexName);
    ASSERT_EQ(Dialog.Result(), TNamedMutex::TResult::Owned);
    EXPECT_EQ(AcquireWindowInstance(Window), TWindowGuard::InstanceTaken);
    EXPECT_EQ(TNamedMutex("Korvanel-" + Window).Result(), TNamedMutex::TResult::AlreadyExists);
    Dialog.Release();
    EXPECT_EQ(AcquireWindowInstance(Window), TWindowGuard::Held);
}

TEST_F(InstanceGuard, UnrecognisedArgumentsEndQuietly) {
    for (const std::vector<std::string>& Arguments :
         {std::vector<std::string>{"/x"}, {"/p:1234"}, {"/p", "12a"}, {"a", "b", "c"}}) {
        // No display at all: nothing is shown, so none is needed.
        auto Env = ChildEnv();
        Env.push_back("DISPLAY=");
        const TRunResult Result = RunYstrelo(Arguments, Env);
        EXPECT_TRUE(Result.ExitedWith(0));
        EXPECT_EQ(Result.Stderr, "");
        EXPECT_TRUE(std::filesystem::is_empty(FRuntime.Path()));
    }
}
