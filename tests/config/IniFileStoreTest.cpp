#include "ConfigTestSupport.h"

#include "config/IniFileStore.h"
#include "config/StoreSession.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

TEST(IniFileStore, NamesItsFile) {
    TIniFileStore Store;
    Store.SetIniFileName("Ystrelo.ini");
    EXPECT_EQ(Store.FileName(), "Ystrelo.ini");
    Store.SetIniFileName("Settings");
    EXPECT_EQ(Store.FileName(), "Settings.INI");
    Store.SetIniFileName("/some.dir/Settings");
    EXPECT_EQ(Store.FileName(), "/some.dir/Settings.INI");
    const auto Program = std::filesystem::read_symlink("/proc/self/exe");
    Store.SetIniFileName("");
    EXPECT_EQ(Store.FileName().toStdString(), Program.stem().string() + ".INI");
    Store.SetIniFileName("/elsewhere/Ystrelo.ini");
    Store.SetUseExeDir(true);
    EXPECT_EQ(Store.FileName().toStdString(), (Program.parent_path() / "Ystrelo.ini").string());
}

TEST(IniFileStore, NestedOpenRequestsWriteOnceAtTheLastClose) {
    TProfileFolder Folder;
    TIniFileStore Store;
    Store.SetIniFileName("Ystrelo.ini");
    Store.OpenStore();
    Store.OpenStore();
    Store.WriteString("S", "k", QString::fromUtf8("v\xc3\xa4"));
    Store.CloseStore();
    EXPECT_EQ(Store.OpenCount(), 1);
    EXPECT_EQ(Store.ReadString("s", "K", "d"), QString::fromUtf8("v\xc3\xa4"));
    EXPECT_FALSE(std::filesystem::exists(Folder.File()));
    Store.CloseStore();
    Store.CloseStore(); // a stray close stays at 0
    EXPECT_EQ(Store.OpenCount(), 0);
    EXPECT_EQ(ReadText(Folder.File()), "[S]\nk=v\xc3\xa4\n");

    // A session left without closing it (an error is on its way) drops its changes.
    {
        TStoreSession Session(Store);
        Store.EraseSection("S");
        Store.WriteString("T", "k", "v");
    }
    EXPECT_EQ(ReadText(Folder.File()), "[S]\nk=v\xc3\xa4\n");
    Store.EraseSection("S");
    EXPECT_EQ(Store.ReadString("S", "k", "d"), "d");
    EXPECT_EQ(Store.OpenCount(), 0);
}

namespace {

// The child of the kill test saves through this pipe's write end; set only in the child.
constexpr const char* ProgressVariable = "YSTRELO_TEST_SAVE_PROGRESS";
constexpr const char* ChildFilter = "--gtest_filter=IniFileStoreKill.ChildSavesUntilKilled";
constexpr int KeyCount = 27;
constexpr int SaveCount = 100;

// Every key of a save holds its number, padded so that a file is several blocks long.
std::string SavedValue(int Save) {
    return std::to_string(Save) + std::string(1000, '.');
}

// The file after save number Save, byte for byte.
std::string SavedText(int Save) {
    std::string Text = "[S]\n";
    for (int Key = 0; Key < KeyCount; ++Key)
        Text += "Key" + std::to_string(Key) + "=" + SavedValue(Save) + "\n";
    return Text;
}

pid_t StartSavingChild(int ProgressFile) {
    const auto Program = std::filesystem::read_symlink("/proc/self/exe").string();
    const auto Progress = std::string(ProgressVariable) + "=" + std::to_string(ProgressFile);
    std::vector<char*> Environment{const_cast<char*>(Progress.c_str())};
    for (char** Entry = environ; *Entry; ++Entry)
        Environment.push_back(*Entry);
    Environment.push_back(nullptr);
    char* Arguments[] = {const_cast<char*>(Program.c_str()), const_cast<char*>(ChildFilter),
                         nullptr};
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t Child = -1;
    const int Error =
        posix_spawn(&Child, Program.c_str(), &Actions, nullptr, Arguments, Environment.data());
    posix_spawn_file_actions_destroy(&Actions);
    return Error == 0 ? Child : -1;
}

} // namespace

// The child half of the kill test below; on its own it has nothing to do.
TEST(IniFileStoreKill, ChildSavesUntilKilled) {
    const char* Progress = std::getenv(ProgressVariable);
    if (!Progress)
        GTEST_SKIP() << "run by IniFileStore.AKillLeavesTheOldOrTheNewFileAndNoTemporaryFile";
    const int ProgressFile = std::stoi(Progress);
    TIniFileStore Store;
    Store.SetIniFileName("Ystrelo.ini");
    for (int Save = Store.ReadString("S", "Key0", "0").toInt() + 1;; ++Save) {
        TStoreSession Session(Store);
        for (int Key = 0; Key < KeyCount; ++Key)
            Store.WriteString("S", QString("Key%1").arg(Key),
                              QString::fromStdString(SavedValue(Save)));
        ASSERT_EQ(::write(ProgressFile, "s", 1), 1);
        Session.Close();
    }
}

TEST(IniFileStore, AKillLeavesTheOldOrTheNewFileAndNoTemporaryFile) {
    TProfileFolder Folder;
    WriteText(Folder.File(), SavedText(0));
    std::mt19937 Random(20240611);
    for (int Saves = 0; Saves < SaveCount;) {
        int Pipe[2];
        ASSERT_EQ(::pipe2(Pipe, O_CLOEXEC), 0);
        ASSERT_EQ(::fcntl(Pipe[1], F_SETFD, 0), 0); // the children's end
        // Two writers at once, as two copies of the program could be.
        const pid_t Children[] = {StartSavingChild(Pipe[1]), StartSavingChild(Pipe[1])};
        ::close(Pipe[1]);
        ASSERT_GT(Children[0], 0);
        ASSERT_GT(Children[1], 0);
        // Some saves have begun their write; the kill falls at a random moment after.
        for (int Wanted = 2 + static_cast<int>(Random() % 5); Wanted > 0; --Wanted, ++Saves) {
            pollfd Ready{Pipe[0], POLLIN, 0};
            char Byte;
            ASSERT_EQ(::poll(&Ready, 1, 10000), 1);
            ASSERT_EQ(::read(Pipe[0], &Byte, 1), 1);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(Random() % 3000));
        for (const pid_t Child : Children) {
            ::kill(Child, SIGKILL);
            ::waitpid(Child, nullptr, 0);
        }
        ::close(Pipe[0]);

        const int Save = std::stoi(GetPrivateProfileString("S", "Key0", "-1", "Ystrelo.ini"));
        ASSERT_EQ(ReadText(Folder.File()), SavedText(Save)) << "after save " << Saves;
        for (const auto& Name : FolderEntries(Folder.Path))
            EXPECT_TRUE(Name == "Ystrelo.ini" || Name == "Ystrelo.ini.tmp") << Name;
    }
    // The next write cleans up after the last kill.
    WritePrivateProfileString("S", "Key0", "done", "Ystrelo.ini");
    EXPECT_EQ(FolderEntries(Folder.Path), std::vector<std::string>{"Ystrelo.ini"});
}
