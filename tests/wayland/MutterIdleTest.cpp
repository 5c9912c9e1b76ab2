// The idle watcher in a GNOME session: mutter, headless, tells it through its idle monitor
// on the session bus when the seat was left alone, and the watcher starts the saver.
#include "tests/wayland/Mutter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>

namespace {
constexpr auto IdleAfter = 3s;
constexpr auto ResetEvery = 1s;
constexpr int Resets = 5;
constexpr auto SaverWithin = 15s;
constexpr auto EndWithin = 5s;

// The saver the watcher runs: its child "ystrelo /s"; 0 while there is none.
pid_t SaverOf(pid_t Watcher) {
    for (const auto& Entry : std::filesystem::directory_iterator("/proc")) {
        const std::string Name = Entry.path().filename();
        if (Name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // "pid (comm) state ppid ...": the name may hold spaces, the fields after it not.
        const std::string Stat = ReadFile(Entry.path().string() + "/stat");
        std::istringstream Rest(Stat.substr(Stat.rfind(')') + 1));
        char State = 0;
        pid_t Parent = 0;
        Rest >> State >> Parent;
        if (Parent == Watcher && State != 'Z' &&
            ReadFile(Entry.path().string() + "/cmdline").find(std::string("/s\0", 3)) !=
                std::string::npos)
            return std::stoi(Name);
    }
    return 0;
}

class MutterIdle : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string Why = TMutter::Unavailable();
        if (!Why.empty())
            GTEST_SKIP() << Why;
        FMutter = std::make_unique<TMutter>();
        ASSERT_TRUE(FMutter->Started()) << FMutter->Error();
    }

    std::unique_ptr<TMutter> FMutter;
};

TEST_F(MutterIdle, StartsTheSaverOnceTheSessionIsLeftAloneAndNotWhileItIsUsed) {
    // Mutter's seat has been idle since it started; a watch armed later would fire at once.
    ASSERT_TRUE(FMutter->ResetIdleTime());
    const auto Watcher =
        FMutter->Start({YstreloBinary(), "--idle", std::to_string(IdleAfter.count()) + "s"});
    auto LastInput = std::chrono::steady_clock::now();
    for (int I = 0; I < Resets; ++I) {
        ASSERT_TRUE(FMutter->ResetIdleTime());
        LastInput = std::chrono::steady_clock::now();
        ASSERT_FALSE(WaitUntil([&] { return SaverOf(Watcher->Pid()) != 0; }, ResetEvery))
            << "the saver started while the session was in use";
    }
    ASSERT_TRUE(WaitUntil([&] { return SaverOf(Watcher->Pid()) != 0; }, SaverWithin))
        << Watcher->Stderr();
    EXPECT_GE(std::chrono::steady_clock::now() - LastInput, IdleAfter - ResetEvery);
    const pid_t Saver = SaverOf(Watcher->Pid());
    ASSERT_NE(Saver, 0) << Watcher->Stderr();

    // The saver shows on mutter's monitor until the session ends it: nothing to complain of.
    // Paint requests come from a timer of the event loop, so the saver is past its
    // start-up, which a loaded machine can make long.
    ASSERT_TRUE(TPainterWatch(Saver).Works(SaverWithin)) << Watcher->Stderr();
    Watcher->Signal(SIGTERM);
    const auto Status = Watcher->Wait(EndWithin);
    ASSERT_TRUE(ExitedWith(Status, 0)) << Watcher->Stderr();
    EXPECT_NE(kill(Saver, 0), 0) << "the saver outlived its watcher";
    EXPECT_EQ(Watcher->Stderr(), "");
}

TEST_F(MutterIdle, EndsWithOneLineWhenMutterGoes) {
    const auto Watcher = FMutter->Start({YstreloBinary(), "--idle", "1s"});
    // A saver shows the watcher listens to mutter by now.
    ASSERT_TRUE(WaitUntil([&] { return SaverOf(Watcher->Pid()) != 0; }, SaverWithin))
        << Watcher->Stderr();
    FMutter->Kill();
    const auto Status = Watcher->Wait(EndWithin);
    ASSERT_TRUE(ExitedWith(Status, 1)) << Watcher->Stderr();
    EXPECT_NE(Watcher->Stderr().find("ystrelo: lost GNOME's idle monitor\n"), std::string::npos)
        << Watcher->Stderr();
}
} // namespace
