#include "ProfileTestSupport.h"

#include "platform/Errors.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const std::string Sample = "; settings\n"
                           "orphan=1\n"
                           "[Colours]\n"
                           "Red=1\n"
                           "  Green = two words  \n"
                           "[broken\n"
                           ";Blue=3\n"
                           "\n"
                           "; next section\n"
                           "[Monitor-0]\n"
                           "Wide=4";

std::string Read(const std::string& Section, const std::string& Key, const std::string& Path) {
    return GetPrivateProfileString(Section, Key, "default", Path);
}

} // namespace

TEST(Profile, ReadsKeysIgnoringCaseAndFallsBackToTheDefault) {
    TProfileFolder Folder;
    WriteText(Folder.File(), Sample);
    EXPECT_EQ(Read("colours", "RED", "Ystrelo.ini"), "1");
    EXPECT_EQ(Read("Colours", "green", "Ystrelo.ini"), "two words");
    EXPECT_EQ(Read("monitor-0", "wide", "Ystrelo.ini"), "4");
    EXPECT_EQ(Read("Colours", "orphan", "Ystrelo.ini"), "default"); // before any section
    EXPECT_EQ(Read("Colours", ";Blue", "Ystrelo.ini"), "default");  // a comment
    EXPECT_EQ(Read("broken", "Blue", "Ystrelo.ini"), "default");    // no header without "]"
    EXPECT_EQ(Read("Missing", "Red", "Ystrelo.ini"), "default");
    EXPECT_EQ(Read("Colours", "Missing", "Ystrelo.ini"), "default");
    EXPECT_EQ(Read("Colours", "Red", "Absent.ini"), "default");
}

TEST(Profile, WritesOneKeyAndKeepsEveryOtherByte) {
    TProfileFolder Folder;
    const auto Path = Folder.File();
    WriteText(Path, Sample);

    WritePrivateProfileString("colours", "GREEN", "5", "Ystrelo.ini");
    auto Expected = Sample;
    Expected.replace(Expected.find("  Green = two words  "), 21, "GREEN=5");
    EXPECT_EQ(ReadText(Path), Expected);

    // After the section's last key line, ahead of the blank and comment lines that
    // introduce the next section.
    WritePrivateProfileString("Colours", "Blue", "3", "Ystrelo.ini");
    Expected.insert(Expected.find(";Blue=3"), "Blue=3\n");
    EXPECT_EQ(ReadText(Path), Expected);

    WritePrivateProfileString("Monitor-0", "High", "3", "Ystrelo.ini");
    Expected += "\nHigh=3\n";
    EXPECT_EQ(ReadText(Path), Expected);

    WritePrivateProfileString("Monitor-1", "Wide", "1", "Ystrelo.ini");
    Expected += "[Monitor-1]\nWide=1\n";
    EXPECT_EQ(ReadText(Path), Expected);
}

TEST(Profile, KeepsTheFilesLineBreaks) {
    TProfileFolder Folder;
    WriteText(Folder.File(), "[A]\r\nx=1\r\n");
    WritePrivateProfileString("A", "y", "2", "Ystrelo.ini");
    WritePrivateProfileString("B", "z", "3", "Ystrelo.ini");
    EXPECT_EQ(ReadText(Folder.File()), "[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
    EXPECT_EQ(Read("A", "x", "Ystrelo.ini"), "1");
}

TEST(Profile, ErasesEverySectionOfThatNameOnly) {
    TProfileFolder Folder;
    WriteText(Folder.File(), "[A]\nx=1\n[List]\nCount=1\nItem0=a\n[B]\ny=2\n[list]\nz=3\n");
    EraseProfileSection("LIST", "Ystrelo.ini");
    EXPECT_EQ(ReadText(Folder.File()), "[A]\nx=1\n[B]\ny=2\n");
    EraseProfileSection("A", "Absent.ini");
    EXPECT_FALSE(std::filesystem::exists(Folder.File("Absent.ini")));
}

TEST(Profile, CutsValuesReadTo2047Characters) {
    TProfileFolder Folder;
    const std::string Long(3000, 'v');
    WritePrivateProfileString("A", "Long", Long, "Ystrelo.ini");
    EXPECT_EQ(Read("A", "Long", "Ystrelo.ini"), Long.substr(0, 2047));
    EXPECT_EQ(GetPrivateProfileString("A", "None", Long, "Ystrelo.ini").size(), 2047u);
}

TEST(Profile, ABareNameLivesInTheConfigurationFolder) {
    TProfileFolder Folder;
    const auto Nested = Folder.Path + "/new/config";
    ::setenv("XDG_CONFIG_HOME", Nested.c_str(), 1);
    EXPECT_EQ(ProfilePath("Ystrelo.ini"), Nested + "/Ystrelo.ini");
    WritePrivateProfileString("A", "x", "1", "Ystrelo.ini");
    EXPECT_EQ(ReadText(Nested + "/Ystrelo.ini"), "[A]\nx=1\n");
    struct stat Info {};
    ASSERT_EQ(::stat(Nested.c_str(), &Info), 0);
    EXPECT_EQ(Info.st_mode & 0777, 0700u);

    const std::string Home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", Folder.Path.c_str(), 1);
    EXPECT_EQ(ProfilePath("Ystrelo.ini"), Folder.Path + "/.config/Ystrelo.ini");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ProfilePath("Ystrelo.ini"), Folder.Path + "/.config/Ystrelo.ini");
    EXPECT_EQ(ProfilePath("/etc/x.ini"), "/etc/x.ini");
    ::setenv("HOME", Home.c_str(), 1);
}

TEST(Profile, ReportsWhatCannotBeWritten) {
    TProfileFolder Folder;
    // A folder in place of the file, and a file in place of a folder: both fail for root too.
    std::filesystem::create_directory(Folder.File());
    try {
        WritePrivateProfileString("A", "x", "1", "Ystrelo.ini");
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& Error) {
        EXPECT_EQ(std::string(Error.what()), "Unable to write to " + Folder.File());
    }
    WriteText(Folder.File("plain"), "");
    EXPECT_THROW(WritePrivateProfileString("A", "x", "1", Folder.File("plain") + "/sub/x.ini"),
                 EInOutError);

    // Text that would break the line structure plants nothing.
    WriteText(Folder.File("ok.ini"), "[A]\nx=1\n");
    EXPECT_THROW(WritePrivateProfileString("A", "x", "1\n[B]", "ok.ini"), EInOutError);
    EXPECT_THROW(WritePrivateProfileString("A", "y=z", "1", "ok.ini"), EInOutError);
    EXPECT_THROW(WritePrivateProfileString("A]", "y", "1", "ok.ini"), EInOutError);
    EXPECT_EQ(ReadText(Folder.File("ok.ini")), "[A]\nx=1\n");
}

TEST(Profile, AnInterruptedWriteLeavesTheOldFile) {
    TProfileFolder Folder;
    WriteText(Folder.File(), Sample);
    const auto Die = [](const std::string&, const std::string&) { return false; };
    EXPECT_THROW(ReplaceFileContents(Folder.File(), "new", Die), EInOutError);
    EXPECT_EQ(ReadText(Folder.File()), Sample);
    WritePrivateProfileString("Colours", "Red", "0", "Ystrelo.ini");
    int Files = 0;
    for ([[maybe_unused]] const auto& Entry : std::filesystem::directory_iterator(Folder.Path))
        ++Files;
    EXPECT_EQ(Files, 1); // no temporary file stays behind
}

TEST(Profile, WritesThroughASymbolicLink) {
    TProfileFolder Folder;
    WriteText(Folder.File("real.ini"), "[A]\nx=1\n");
    std::filesystem::create_symlink(Folder.File("real.ini"), Folder.File());
    WritePrivateProfileString("A", "x", "2", "Ystrelo.ini");
    EXPECT_TRUE(std::filesystem::is_symlink(Folder.File()));
    EXPECT_EQ(ReadText(Folder.File("real.ini")), "[A]\nx=2\n");
}
