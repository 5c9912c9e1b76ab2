#include "ConfigTestSupport.h"

#include "config/IniFileStore.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST(IniFileStore, NestsOpenRequestsAndWorksWithoutOne) {
    TProfileFolder Folder;
    TIniFileStore Store;
    Store.SetIniFileName("Ystrelo.ini");
    Store.OpenStore();
    Store.OpenStore();
    Store.WriteString("S", "k", QString::fromUtf8("v\xc3\xa4"));
    Store.CloseStore();
    EXPECT_EQ(Store.OpenCount(), 1);
    Store.CloseStore();
    Store.CloseStore(); // a stray close stays at 0
    EXPECT_EQ(Store.OpenCount(), 0);
    EXPECT_EQ(Store.ReadString("s", "K", "d"), QString::fromUtf8("v\xc3\xa4"));
    Store.EraseSection("S");
    EXPECT_EQ(Store.ReadString("S", "k", "d"), "d");
    EXPECT_EQ(Store.OpenCount(), 0);
}
