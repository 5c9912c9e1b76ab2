#include "ProfileTestSupport.h"

#include "platform/Errors.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <functional>

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

void ExpectUnableToWrite(const std::function<void()>& Write, const std::string& Path) {
    try {
        Write();
        ADD_FAILURE() << "no error for " << Path;
    } catch (const EInOutError& Error) {
        EXPECT_EQ(std::string(Error.what()), "Unable to write to " + Path);
    }
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
    ExpectUnableToWrite([] { WritePrivateProfileString("A", "x", "1", "Ystrelo.ini"); },
                        Folder.File());
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
    // No temporary file stays behind.
    EXPECT_EQ(FolderEntries(Folder.Path), std::vector<std::string>{"Ystrelo.ini"});
}

TEST(Profile, WritesThroughSymbolicLinksOrRefusesWhereThatIsUnsafe) {
    TProfileFolder Folder;
    WriteText(Folder.File("real.ini"), "[A]\nx=1\n");
    std::filesystem::create_symlink(Folder.File("real.ini"), Folder.File());
    WritePrivateProfileString("A", "x", "2", "Ystrelo.ini");
    EXPECT_TRUE(std::filesystem::is_symlink(Folder.File()));
    EXPECT_EQ(ReadText(Folder.File("real.ini")), "[A]\nx=2\n");

    // A chain of relative links to a file that does not exist yet: each target is taken
    // from the folder of its own link, and the file is created at the end of the chain.
    std::filesystem::create_directory(Folder.File("sub"));
    std::filesystem::create_symlink("sub/first.ini", Folder.File("chain.ini"));
    std::filesystem::create_symlink("../new.ini", Folder.File("sub/first.ini"));
    WritePrivateProfileString("A", "x", "3", Folder.File("chain.ini"));
    EXPECT_EQ(ReadText(Folder.File("new.ini")), "[A]\nx=3\n");
    EXPECT_TRUE(std::filesystem::is_symlink(Folder.File("chain.ini")));

    // A loop has no end to write to; the folder at the far end of a link is not ours to
    // create.
    std::filesystem::create_symlink("loop.ini", Folder.File("loop.ini"));
    std::filesystem::create_symlink("gone/x.ini", Folder.File("far.ini"));
    for (const char* Name : {"loop.ini", "far.ini"})
        ExpectUnableToWrite([&] { WritePrivateProfileString("A", "x", "1", Folder.File(Name)); },
                            Folder.File(Name));
    EXPECT_FALSE(std::filesystem::exists(Folder.File("gone")));
}

TEST(Profile, AByteOrderMarkIsSkippedAndKept) {
    TProfileFolder Folder;
    const std::string Mark = "\xEF\xBB\xBF";
    WriteText(Folder.File(), Mark + "[A]\r\nx=1\r\n");
    EXPECT_EQ(Read("a", "X", "Ystrelo.ini"), "1");
    WritePrivateProfileString("A", "y", "2", "Ystrelo.ini");
    EXPECT_EQ(ReadText(Folder.File()), Mark + "[A]\r\nx=1\r\ny=2\r\n");
    EraseProfileSection("A", "Ystrelo.ini");
    WritePrivateProfileString("B", "z", "3", "Ystrelo.ini");
    EXPECT_EQ(ReadText(Folder.File()), Mark + "[B]\nz=3\n");
}

TEST(Profile, OddFilesGiveTheDefaultAndAreNeverReplaced) {
    TProfileFolder Folder;
    // A pipe would wait for a writer, a device never ends, a huge file fills the memory.
    ASSERT_EQ(::mkfifo(Folder.File("pipe.ini").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", Folder.File("device.ini"));
    WriteText(Folder.File("huge.ini"), "[A]\nx=1\n");
    std::filesystem::resize_file(Folder.File("huge.ini"), ProfileSizeLimit + 1);
    for (const char* Name : {"pipe.ini", "device.ini", "huge.ini"}) {
        const auto Path = Folder.File(Name);
        EXPECT_EQ(Read("A", "x", Path), "default") << Name;
        ExpectUnableToWrite([&] { WritePrivateProfileString("A", "x", "2", Path); }, Path);
        ExpectUnableToWrite([&] { EraseProfileSection("A", Path); }, Path);
    }
    EXPECT_TRUE(std::filesystem::is_fifo(Folder.File("pipe.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(Folder.File("device.ini")));
    EXPECT_EQ(std::filesystem::file_size(Folder.File("huge.ini")), ProfileSizeLimit + 1);
}

TEST(Profile, AWriteTakesOverTheTemporaryFileOfAKilledOne) {
    TProfileFolder Folder;
    WriteText(Folder.File(), "[A]\nx=1\n");
    WriteText(Folder.File("Ystrelo.ini.tmp"), "half the text of a write that was kil");
    WritePrivateProfileString("A", "x", "2", "Ystrelo.ini");
    EXPECT_EQ(ReadText(Folder.File()), "[A]\nx=2\n");
    EXPECT_EQ(FolderEntries(Folder.Path), std::vector<std::string>{"Ystrelo.ini"});

    // Never one that is not a plain file: a link there could point anywhere.
    std::filesystem::create_symlink(Folder.File("elsewhere"), Folder.File("Ystrelo.ini.tmp"));
    ExpectUnableToWrite([] { WritePrivateProfileString("A", "x", "3", "Ystrelo.ini"); },
                        Folder.File());
    EXPECT_EQ(ReadText(Folder.File()), "[A]\nx=2\n");
    EXPECT_FALSE(std::filesystem::exists(Folder.File("elsewhere")));
}
