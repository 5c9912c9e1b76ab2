#include "host/CommandLine.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

namespace {
enum class TOutcome { Mode, RangeError };

struct TRow {
    std::vector<std::string> Arguments;
    TSaverMode Mode = smNone;
    std::uint32_t Window = 0;
    TOutcome Outcome = TOutcome::Mode;
};

std::string Show(const std::vector<std::string>& Arguments) {
    std::string Text = "[";
    for (const auto& A : Arguments)
        Text += " '" + A + "'";
    return Text + " ]";
}
} // namespace

TEST(CommandLine, EveryRowOfTheTable) {
    const TRow Range{{}, smNone, 0, TOutcome::RangeError};
    auto RangeRow = [&](std::vector<std::string> A) {
        TRow R = Range;
        R.Arguments = std::move(A);
        return R;
    };
    const std::vector<TRow> Rows = {
        // Configure: no argument, or one that names "C" after at most one prefix.
        {{}, smConfigure},
        {{"/c"}, smConfigure},
        {{"/C"}, smConfigure},
        {{"-c"}, smConfigure},
        {{"\\c"}, smConfigure},
        {{"c"}, smConfigure},
        {{"/c:1234"}, smConfigure},
        {{"-Config"}, smConfigure},
        // Saver.
        {{"/s"}, smSaver},
        {{"/S"}, smSaver},
        {{"\\s"}, smSaver},
        {{"Saver"}, smSaver},
        // One argument that names nothing we know.
        {{""}, smNone},
        {{"/"}, smNone},
        {{"//s"}, smNone}, // only one prefix character is removed
        {{"/x"}, smNone},
        {{"/p"}, smNone},
        {{"/p:1234"}, smNone},
        {{"/p", "1234"}, smPreview, 1234},
        {{"-P", "1234"}, smPreview, 1234},
        {{"/p", "0x1A"}, smPreview, 26},
        {{"/p", "$1A"}, smPreview, 26},
        {{"/p", "x1a"}, smPreview, 26},
        {{"/p", "0X1a"}, smPreview, 26},
        {{"/p", "0x40000C"}, smPreview, 0x40000C},
        {{"/p", "  +77"}, smPreview, 77},
        {{"/p", "007"}, smPreview, 7},
        {{"/p", "0"}, smPreview, 0},
        {{"/p", "-0"}, smPreview, 0},
        {{"/p", "4294967295"}, smPreview, 4294967295u},
        {{"/p", "$FFFFFFFF"}, smPreview, 4294967295u},
        // Second argument not an integer.
        {{"/p", "12a"}, smNone},
        {{"/p", ""}, smNone},
        {{"/p", "  "}, smNone},
        {{"/p", "0x"}, smNone},
        {{"/p", "$"}, smNone},
        {{"/p", "-"}, smNone},
        {{"/p", "12 "}, smNone},
        {{"/p", "1.5"}, smNone},
        {{"/p", "0x1G"}, smNone},
        // Two arguments whose first is not "P".
        {{"/c", "1234"}, smNone},
        {{"/s", "1234"}, smNone},
        // Three or more.
        {{"/p", "1234", "x"}, smNone},
        {{"/c", "/c", "/c"}, smNone},
        // Integers outside 32 bits unsigned.
        RangeRow({"/p", "-1"}),
        RangeRow({"/p", "4294967296"}),
        RangeRow({"/p", "0x100000000"}),
        RangeRow({"/p", "-$1A"}),
        RangeRow({"/p", "9223372036854775807"}),
        RangeRow({"/p", "-9223372036854775808"}),
        // Still numbers: only too large ones.
        RangeRow({"/p", "99999999999999999999"}),
        RangeRow({"/p", "$10000000000000000"}),
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Show(Row.Arguments));
        if (Row.Outcome == TOutcome::RangeError) {
            EXPECT_THROW(ParseCommandLine(Row.Arguments), ERangeError);
            continue;
        }
        const TCommandLine Line = ParseCommandLine(Row.Arguments);
        EXPECT_EQ(Line.Mode, Row.Mode);
        EXPECT_EQ(Line.PreviewWindow, Row.Window);
    }
}

TEST(CommandLine, IntegerReaderKeepsTheFullSignedRange) {
    EXPECT_EQ(TryStrToInt64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(TryStrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(TryStrToInt64("9223372036854775808"), std::nullopt);
    EXPECT_EQ(TryStrToInt64("$7FFFFFFFFFFFFFFF"), INT64_MAX);
    EXPECT_EQ(TryStrToInt64("\t-0x10"), -16);
    EXPECT_EQ(ReadInteger("99999999999999999999").Kind, TIntegerText::TooLarge);
    EXPECT_EQ(ReadInteger("99999999999999999999z").Kind, TIntegerText::Invalid);
}

TEST(CommandLine, HostWindowAsHostsWriteIt) {
    EXPECT_EQ(ParseHostWindow("0x40000E"), 0x40000Eu);
    EXPECT_EQ(ParseHostWindow("0X40000e"), 0x40000Eu);
    EXPECT_EQ(ParseHostWindow("4194318"), 4194318u);
    for (const char* Bad : {"", "window", "0x", "-5", "0", "0x100000000", "12 34"})
        EXPECT_THROW(ParseHostWindow(Bad), EYstreloError) << Bad;
}

TEST(CommandLine, XScreenSaversOptionsCountOnlyBesideASaverOrPreviewSwitch) {
    struct TOptionRow {
        std::vector<std::string> Arguments;
        TSaverMode Mode;
        THostOption Option;
        std::uint32_t WindowId = 0;
    };
    const std::vector<TOptionRow> Rows = {
        // As xscreensaver-settings runs its preview pane, and xsecurelock its modules.
        {{"-s", "--window-id", "0x800A53"}, smSaver, THostOption::WindowId, 0x800A53},
        {{"--window-id", "8391251", "/S"}, smSaver, THostOption::WindowId, 8391251},
        {{"-s", "-window-id", "0x800A53"}, smSaver, THostOption::WindowId, 0x800A53},
        {{"-s", "-root"}, smSaver, THostOption::Root},
        {{"-root", "s"}, smSaver, THostOption::Root},
        {{"-s", "--root"}, smSaver, THostOption::Root},
        // The window named outright wins over -root, in either order.
        {{"-root", "-s", "--window-id", "42"}, smSaver, THostOption::WindowId, 42},
        {{"-s", "--window-id", "42", "-root"}, smSaver, THostOption::WindowId, 42},
        // The preview switch takes its window from the options, or keeps its own.
        {{"/p", "--window-id", "0x1A"}, smPreview, THostOption::WindowId, 26},
        {{"/p", "-root"}, smPreview, THostOption::Root},
        {{"/p", "1234", "-root"}, smPreview, THostOption::Root},
        // Beside anything else they are arguments like any other: the table decides.
        {{"/c", "-root"}, smNone, THostOption::None},
        {{"-root"}, smNone, THostOption::None},
        {{"--window-id", "42"}, smNone, THostOption::None},
        {{"/x", "--window-id", "42"}, smNone, THostOption::None},
        {{"-s", "--window-id"}, smNone, THostOption::None},
        {{"-s", "-s", "-root"}, smNone, THostOption::None},
        {{"-s", "-Root"}, smNone, THostOption::None},
    };
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Show(Row.Arguments));
        const TCommandLine Line = ParseCommandLine(Row.Arguments);
        EXPECT_EQ(Line.Mode, Row.Mode);
        EXPECT_EQ(Line.HostOption, Row.Option);
        EXPECT_EQ(Line.WindowId, Row.WindowId);
    }
    EXPECT_EQ(ParseCommandLine({"/p", "1234", "-root"}).PreviewWindow, 1234u);
    EXPECT_TRUE(ParseCommandLine({"/p", "1234", "-root"}).PreviewHandle);
    EXPECT_THROW(ParseCommandLine({"-s", "--window-id", "none"}), EYstreloError);
    EXPECT_THROW(ParseCommandLine({"/p", "-1", "-root"}), ERangeError);
}

TEST(CommandLine, IdleTakesMinutesOrSecondsFromOneSecondToADay) {
    using namespace std::chrono;
    const std::pair<std::string, std::optional<seconds>> Rows[] = {
        {"10", minutes(10)},      {"20s", seconds(20)}, {"1440", hours(24)},
        {"1s", seconds(1)},       {"0", std::nullopt},  {"1441", std::nullopt},
        {"86401s", std::nullopt}, {"s", std::nullopt},  {"-5", std::nullopt},
        {"10m", std::nullopt},    {"", std::nullopt},   {"99999999999", std::nullopt}};
    for (const auto& [Text, Expected] : Rows) {
        const TCommandLine Line = ParseCommandLine({"--idle", Text});
        EXPECT_TRUE(Line.Idle) << Text;
        EXPECT_EQ(Line.IdleAfter, Expected) << Text;
    }
    // Anything else with it is no watcher: unrecognised arguments, as before.
    EXPECT_FALSE(ParseCommandLine({"--idle"}).Idle);
    EXPECT_FALSE(ParseCommandLine({"--idle", "10", "/s"}).Idle);
}
