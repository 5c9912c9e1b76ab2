#include "ProfileTestSupport.h"

#include "platform/Errors.h"
#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Pieces that make near-INI text, with the damage real files show: binary bytes, a stray
// "[", very long lines, keys before any section, mixed line breaks, a byte-order mark.
std::string RandomText(std::mt19937& Random) {
    static const std::vector<std::string> Pieces = {"[S1]",        "[s2]",
                                                    "[S3",         "]",
                                                    "a=1",         "A = 2",
                                                    "b=",          "=c",
                                                    ";d=4",        "\n",
                                                    "\r\n",        "\r",
                                                    " ",           "\t",
                                                    "=",           "[",
                                                    "x",           std::string(1, '\0'),
                                                    "\xff\xfe",    std::string(5000, 'L'),
                                                    "\xef\xbb\xbf"};
    std::string Text = Random() % 4 == 0 ? "\xef\xbb\xbf" : "";
    const int Count = std::uniform_int_distribution<int>(0, 60)(Random);
    for (int I = 0; I < Count; ++I) {
        if (Random() % 8 == 0)
            Text += static_cast<char>(Random() % 256);
        else
            Text += Pieces[Random() % Pieces.size()];
    }
    return Text;
}

// Only insertions: every old byte is still there, in order.
bool IsSubsequence(const std::string& Old, const std::string& New) {
    std::size_t At = 0;
    for (const char C : New)
        if (At < Old.size() && Old[At] == C)
            ++At;
    return At == Old.size();
}

} // namespace

TEST(ProfileFuzz, DamagedFilesAreReadAndNoWriteLosesAnotherSection) {
    TProfileFolder Folder;
    const auto Path = Folder.File();
    std::mt19937 Random(20240601);
    const std::vector<std::pair<std::string, std::string>> Probes = {
        {"S1", "a"}, {"s2", "a"}, {"S1", "b"}, {"s2", "b"}, {"S3", "a"}, {"S1", ""}};
    for (int Round = 0; Round < 300; ++Round) {
        const auto Old = RandomText(Random);
        WriteText(Path, Old);
        std::vector<std::string> Before;
        for (const auto& [Section, Key] : Probes)
            Before.push_back(GetPrivateProfileString(Section, Key, "?", "Ystrelo.ini"));

        const std::string Target = Round % 2 ? "S1" : "New";
        WritePrivateProfileString(Target, "Fuzz9", "v", "Ystrelo.ini");
        const auto New = ReadText(Path);
        ASSERT_TRUE(IsSubsequence(Old, New)) << "round " << Round;
        EXPECT_EQ(GetPrivateProfileString(Target, "Fuzz9", "?", "Ystrelo.ini"), "v");
        for (std::size_t I = 0; I < Probes.size(); ++I)
            EXPECT_EQ(
                GetPrivateProfileString(Probes[I].first, Probes[I].second, "?", "Ystrelo.ini"),
                Before[I])
                << "round " << Round;

        // Erasing one section leaves the others readable as they were.
        EraseProfileSection("s2", "Ystrelo.ini");
        EXPECT_EQ(GetPrivateProfileString("s2", "a", "?", "Ystrelo.ini"), "?");
        if (Target == "S1") {
            EXPECT_EQ(GetPrivateProfileString("S1", "Fuzz9", "?", "Ystrelo.ini"), "v");
        }
    }
}
