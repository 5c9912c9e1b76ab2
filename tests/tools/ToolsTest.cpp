// The renderer and the benchmark as the README runs them, on small sizes.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

struct TRun {
    int Status;
    std::string Output;
};

TRun RunCommand(const std::string& Command) {
    TRun Result{-1, {}};
    FILE* Pipe = popen((Command + " 2>&1").c_str(), "r");
    if (!Pipe)
        return Result;
    char Buffer[4096];
    while (std::fgets(Buffer, sizeof Buffer, Pipe))
        Result.Output += Buffer;
    Result.Status = pclose(Pipe);
    return Result;
}

const std::string Binaries = YSTRELO_BINARY_DIR;

TEST(Renderer, WritesOnePictureAndOneLinePerView) {
    const fs::path Out = fs::temp_directory_path() / ("ystrelo-render-" + std::to_string(getpid()));
    fs::remove_all(Out);
    const TRun Result = RunCommand(Binaries +
                                   "/ystrelo-render --size 96x64 --views 3 --seed 42 "
                                   "--colours magenta,aqua,yellow --bands 32 --out " +
                                   Out.string());
    ASSERT_EQ(Result.Status, 0) << Result.Output;
    for (int View = 0; View < 3; ++View) {
        char Name[32];
        std::snprintf(Name, sizeof Name, "view-%03d.png", View);
        const QImage Image(QString::fromStdString((Out / Name).string()));
        ASSERT_FALSE(Image.isNull()) << Name;
        EXPECT_EQ(Image.size(), QSize(96, 64));
    }
    EXPECT_NE(Result.Output.find("centre (0, 0)  radius 4"), std::string::npos) << Result.Output;
    EXPECT_NE(Result.Output.find("iterations"), std::string::npos);
    // The same seed paints the same chain of views.
    const TRun Again = RunCommand(Binaries +
                                  "/ystrelo-render --size 96x64 --views 3 --seed 42 "
                                  "--colours magenta,aqua,yellow --bands 32 --out " +
                                  Out.string());
    const auto Views = [](const std::string& Text) {
        std::string Kept;
        for (std::size_t At = Text.find("centre"); At != std::string::npos;
             At = Text.find("centre", At + 1))
            Kept += Text.substr(At, Text.find("radius", At) - At) + "\n";
        return Kept;
    };
    EXPECT_EQ(Views(Again.Output), Views(Result.Output));
    fs::remove_all(Out);
}

TEST(Renderer, PrintsEveryDigitOfADeepViewSoThatItCanBeFoundAgain) {
    const fs::path Out = fs::temp_directory_path() / ("ystrelo-deep-" + std::to_string(getpid()));
    const std::string Render =
        Binaries + "/ystrelo-render --deep --size 96x64 --seed 7 --out " + Out.string();
    const TRun Dive = RunCommand(Render + " --views 2 --start 0,1,1e-300");
    ASSERT_EQ(Dive.Status, 0) << Dive.Output;
    // The second view: its centre lies 1e-300 from 1 + 0i, so it takes some 300 digits.
    const std::regex Line(
        R"(view-001\.png  centre \(([-0-9.e]+), ([-0-9.e]+)\)  radius ([-0-9.e]+) )");
    std::smatch Found;
    ASSERT_TRUE(std::regex_search(Dive.Output, Found, Line)) << Dive.Output;
    EXPECT_GT(Found[2].length(), 300);
    const TRun Again = RunCommand(Render + " --views 1 --prefix again --start " + Found[1].str() +
                                  "," + Found[2].str() + "," + Found[3].str());
    ASSERT_EQ(Again.Status, 0) << Again.Output;
    EXPECT_EQ(QImage(QString::fromStdString((Out / "again-000.png").string())),
              QImage(QString::fromStdString((Out / "view-001.png").string())));
    fs::remove_all(Out);
}

TEST(Renderer, RefusesWhatItDoesNotUnderstand) {
    EXPECT_EQ(RunCommand(Binaries + "/ystrelo-render --help").Status, 0);
    for (const char* Bad :
         {"--size 0x10", "--step 3", "--colours purple", "--bogus", "--start 1,2", "--max-age",
          "--deep --start 0,1,0", "--deep --start 0,0x1,1e-9", "--start 0,1,1e-5000"}) {
        const TRun Result = RunCommand(Binaries + "/ystrelo-render " + Bad);
        EXPECT_NE(Result.Status, 0) << Bad;
        EXPECT_NE(Result.Output.find("usage:"), std::string::npos) << Bad;
    }
}

TEST(Soak, AMinuteOfTheSaverPrintsItsCosts) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the program on an X server is not run under ThreadSanitizer";
#endif
    const TRun Result = RunCommand(Binaries + "/ystrelo-soak --minutes 1 --interval 20");
    ASSERT_EQ(Result.Status, 0) << Result.Output;
    // A line every 20 s ("     20s  53.2  0.59  99.1  12  4"), and the summary; the saver
    // paints meanwhile.
    const std::regex Line(R"(\n +\d+s +[\d.]+ +[\d.]+ +[\d.]+ +\d+ +\d+)");
    EXPECT_EQ(std::distance(std::sregex_iterator(Result.Output.begin(), Result.Output.end(), Line),
                            std::sregex_iterator()),
              3)
        << Result.Output;
    const auto Summary = Result.Output.find("average: main thread ");
    ASSERT_NE(Summary, std::string::npos) << Result.Output;
    EXPECT_NE(Result.Output.find("MB an hour", Summary), std::string::npos);
    EXPECT_EQ(Result.Output.find(", 0 views"), std::string::npos) << Result.Output;
}

TEST(Benchmark, RunsAndChecksItsOwnOutput) {
    const TRun Result = RunCommand(Binaries + "/bench/engine_bench 64 36");
    ASSERT_EQ(Result.Status, 0) << Result.Output;
    EXPECT_NE(Result.Output.find("identical"), std::string::npos) << Result.Output;
    // The deep zoom's: each deep view took the deep path, down to the deepest.
    const TRun Deep = RunCommand(Binaries + "/bench/deep_bench 64 36");
    ASSERT_EQ(Deep.Status, 0) << Deep.Output;
    EXPECT_EQ(Deep.Output.find("NOT DEEP"), std::string::npos) << Deep.Output;
    EXPECT_NE(Deep.Output.find("1e-1000  100000"), std::string::npos) << Deep.Output;
}

} // namespace
