// How the process ends when it cannot end the orderly way, and what it leaves to others.
#include "platform/AbruptEnd.h"
#include "platform/SignalWatch.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(ProcessEnd, AnAbruptEndRemovesTheFilesRegisteredForIt) {
    const auto Folder =
        std::filesystem::temp_directory_path() / ("ystrelo-abrupt-" + std::to_string(getpid()));
    std::filesystem::create_directories(Folder);
    const auto Kept = Folder / "kept", Removed = Folder / "removed", Released = Folder / "released";
    for (const auto& Path : {Kept, Removed, Released})
        std::ofstream(Path) << "lock";
    EXPECT_EXIT(
        {
            TAbruptEndFile Gone(Removed);
            { TAbruptEndFile Forgotten(Kept); }
            TAbruptEndFile Early(Released);
            Early.Remove();
            EndAbruptly(3, "the end");
        },
        testing::ExitedWithCode(3), "^ystrelo: the end\n$");
    EXPECT_TRUE(std::filesystem::exists(Kept));
    EXPECT_FALSE(std::filesystem::exists(Removed));
    EXPECT_FALSE(std::filesystem::exists(Released));
    std::filesystem::remove_all(Folder);
}

TEST(ProcessEnd, ChildrenGetTheSignalMaskWeWereGiven) {
    const TSignalWatch Signals({SIGTERM, SIGINT, SIGHUP});
    sigset_t Ours;
    pthread_sigmask(SIG_BLOCK, nullptr, &Ours);
    ASSERT_TRUE(sigismember(&Ours, SIGTERM));
    const pid_t Child = fork();
    if (Child == 0) {
        sigset_t Theirs;
        pthread_sigmask(SIG_BLOCK, nullptr, &Theirs);
        _exit(sigismember(&Theirs, SIGTERM) || sigismember(&Theirs, SIGHUP) ? 1 : 0);
    }
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "a child kept our mask";
}
