#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(FunctionPaint, ColourTable) {
    TPainter<TTestFunctionPaint> Painter;
    EXPECT_EQ(Painter.ColourOf(70), MakeColour(12, 12, 12)); // grey ramp repeats every 64
    EXPECT_EQ(Painter.ColourOf(63), MakeColour(126, 126, 126));
    EXPECT_EQ(Painter.ColourOf(-2), clBlack);
    Painter.AddColour(1), Painter.AddColour(2), Painter.AddColour(3);
    EXPECT_EQ(Painter.ColourOf(7), 2);
    EXPECT_EQ(Painter.ColourOf(-5), clBlack);

    Painter.ClearColours();
    Painter.AddGradient(clBlack, clWhite, 4);
    EXPECT_EQ(Painter.Colours, (std::vector<TColour>{MakeColour(0, 0, 0), MakeColour(85, 85, 85),
                                                     MakeColour(170, 170, 170), clWhite}));
    Painter.ClearColours();
    Painter.AddGradient(MakeColour(255, 0, 0), MakeColour(0, 0, 255), 3);
    EXPECT_EQ(Painter.Colours, (std::vector<TColour>{MakeColour(255, 0, 0), MakeColour(127, 0, 127),
                                                     MakeColour(0, 0, 255)}));
    Painter.AddGradient(clWhite, clBlack, 0);
    Painter.AddGradient(clWhite, clBlack, -3);
    EXPECT_EQ(Painter.Colours.size(), 3u);
    EXPECT_THROW(Painter.AddGradient(clWhite, clBlack, 1), EDivByZero);
}

TEST(FunctionPaint, CoarseGridShrinksToFitTheArea) {
    TPainter<TTestFunctionPaint> Painter;
    Painter.InitialStep = 64;
    Painter.Function = [](int X, int Y) { return X * 1000 + Y; }; // nothing can be filled
    auto Window = TSurfaceWindow::Create(100, 40);
    TPaintWaiter(Painter).Paint(Window, AreaOf(100, 40));
    // The first points queued are the coarse grid with step 32, along rows.
    const std::vector<std::pair<int, int>> Coarse(Painter.Queued.begin(),
                                                  Painter.Queued.begin() + 8);
    EXPECT_EQ(Coarse,
              (std::vector<std::pair<int, int>>{
                  {0, 0}, {32, 0}, {64, 0}, {96, 0}, {0, 32}, {32, 32}, {64, 32}, {96, 32}}));
}

TEST(FunctionPaint, UniformFunctionCalculatesOnlyWhereTheTestLeavesTheArea) {
    constexpr int W = 37, H = 21, Step = 8;
    TPainter<TTestFunctionPaint> Painter;
    Painter.InitialStep = Step;
    Painter.Function = [](int, int) { return 5; };
    auto Window = TSurfaceWindow::Create(W, H);
    TPaintWaiter(Painter).Paint(Window, AreaOf(W, H));
    std::set<std::pair<int, int>> Queued(Painter.Queued.begin(), Painter.Queued.end());
    EXPECT_EQ(Queued.size(), Painter.Queued.size()); // no pixel twice
    for (const auto& [X, Y] : Painter.Queued) {
        const bool Coarse = X % Step == 0 && Y % Step == 0;
        // The half step of the level that visits the point: the lowest set bit.
        const int Bits = (X | Y) == 0 ? Step : ((X | Y) & -(X | Y));
        const int Half = std::min(Bits, Step / 2);
        const bool Outside = X - Half < 0 || Y - Half < 0 || X + Half >= W || Y + Half >= H;
        EXPECT_TRUE(Coarse || Outside) << X << "," << Y;
    }
    for (int X = 0; X < W; ++X)
        for (int Y = 0; Y < H; ++Y)
            ASSERT_EQ(Painter.GetValue(X, Y), 5);
    EXPECT_LT(Painter.CalculatedPixels, W * H / 2);
}

TEST(FunctionPaint, EveryPixelVisitedOnceForEveryStepAndOddSizes) {
    TPainter<TTestFunctionPaint> Painter;
    Painter.Function = [](int X, int Y) { return (X * 31 + Y * 17) % 3; };
    Painter.Slices = [](int X, int Y) { return 1 + (X + Y) % 4; };
    for (int Step = 1; Step <= 256; Step *= 2)
        for (auto [W, H] : {std::pair{1, 1}, {2, 3}, {17, 9}, {33, 65}, {100, 7}, {129, 130}}) {
            Painter.InitialStep = Step;
            Painter.Queued.clear();
            auto Window = TSurfaceWindow::Create(W, H);
            ASSERT_TRUE(TPaintWaiter(Painter).Paint(Window, AreaOf(W, H)));
            ASSERT_EQ(Painter.FatalException(), nullptr) << Step << " " << W << "x" << H;
            for (int X = 0; X < W; ++X)
                for (int Y = 0; Y < H; ++Y)
                    ASSERT_GE(Painter.GetValue(X, Y), 0) << Step << " " << W << "x" << H;
            std::set<std::pair<int, int>> Unique(Painter.Queued.begin(), Painter.Queued.end());
            ASSERT_EQ(Unique.size(), Painter.Queued.size());
        }
}

TEST(FunctionPaint, StepThatIsNotAPowerOfTwoTripsTheDuplicateCheck) {
    TPainter<TTestFunctionPaint> Painter;
    Painter.InitialStep = 5; // (5, 5) of the coarse grid comes again as a square centre
    auto Window = TSurfaceWindow::Create(40, 40);
    TPaintWaiter(Painter).Paint(Window, AreaOf(40, 40));
    EXPECT_TRUE(Painter.Finished());
    EXPECT_FALSE(Painter.Busy());
    Painter.Stop();
    ASSERT_NE(Painter.FatalException(), nullptr);
    try {
        std::rethrow_exception(Painter.FatalException());
    } catch (const EAssertionFailed& Error) {
        EXPECT_STREQ(Error.what(), "TFunctionPaint.CheckSquare: Duplicate calculation");
    }
}

TEST(FunctionPaint, ColumnWiseFlipsEveryPassAndCarriesOver) {
    TPainter<TTestFunctionPaint> Painter;
    Painter.InitialStep = 4; // passes: 1 coarse + 3 per level x 2 levels = 7
    auto Window = TSurfaceWindow::Create(16, 16);
    TPaintWaiter Waiter(Painter);
    Waiter.Paint(Window, AreaOf(16, 16));
    EXPECT_TRUE(Painter.ColumnWise);
    Painter.Queued.clear();
    Painter.Function = [](int X, int Y) { return X * 100 + Y; };
    Waiter.Paint(Window, AreaOf(16, 16));
    EXPECT_FALSE(Painter.ColumnWise);
    // The second paint's coarse pass walked down columns.
    ASSERT_GE(Painter.Queued.size(), 2u);
    EXPECT_EQ(Painter.Queued[0], std::make_pair(0, 0));
    EXPECT_EQ(Painter.Queued[1], std::make_pair(0, 4));
}

TEST(FunctionPaint, CalculationsFinishNewestFirstInTheirCycle) {
    // Along a row of a 1-high area every pixel is calculated: pixel k, queued at visit k
    // with 3 slices, finishes in cycle k + 2; several finishing in one cycle are drawn
    // newest first.
    TRecordingWindow Recorder;
    TPainter<TTestFunctionPaint> Painter;
    Painter.InitialStep = 1;
    Painter.Slices = [](int X, int) { return X == 0 ? 3 : 1; };
    Painter.Function = [](int X, int) { return X; };
    Painter.HighlightCalculations = true;
    HWND Handle(std::shared_ptr<TWindow>{}, &Recorder);
    TPaintWaiter(Painter).Paint(Handle, AreaOf(3, 1));
    const auto W = clWhite;
    using P = TRecordingWindow::TPlot;
    EXPECT_EQ(Recorder.Take(), (std::vector<P>{{0, 0, W},
                                               {1, 0, W},
                                               {1, 0, Painter.ColourOf(1)},
                                               {2, 0, W},
                                               {2, 0, Painter.ColourOf(2)},
                                               {0, 0, Painter.ColourOf(0)}}));
}

TEST(FunctionPaint, AreaSizeLimits) {
    TPainter<TTestFunctionPaint> Painter;
    auto Window = TSurfaceWindow::Create(1, 1);
    Painter.Function = [](int, int) { return 1; };
    TPaintWaiter Waiter(Painter);
    EXPECT_TRUE(Waiter.Paint(Window, {0, 0, TFunctionPaint::MaxAreaSide - 1, 0}));
    try {
        Painter.StartPaint(Window, {0, 0, TFunctionPaint::MaxAreaSide, 0});
        FAIL() << "a too wide area was accepted";
    } catch (const ERangeError& Error) {
        EXPECT_STREQ(Error.what(), "Range check error");
    }
    EXPECT_FALSE(Painter.Busy());
    EXPECT_THROW(Painter.StartPaint(Window, {0, 0, 0, TFunctionPaint::MaxAreaSide}), ERangeError);
    // The painter still works afterwards.
    EXPECT_TRUE(Waiter.Paint(Window, AreaOf(3, 3)));
}

TEST(FunctionPaint, TerminateMidPassStopsThePaint) {
    TPainter<TTestFunctionPaint> Painter;
    Painter.Function = [](int X, int Y) { return X + Y; };
    std::atomic<int> Visits{0};
    Painter.Slices = [&](int, int) {
        if (++Visits == 50)
            Painter.Terminate();
        return 1;
    };
    auto Window = TSurfaceWindow::Create(64, 64);
    TPaintWaiter(Painter).Paint(Window, AreaOf(64, 64));
    Painter.WaitFor();
    EXPECT_EQ(Visits.load(), 50); // not one point more
    EXPECT_EQ(Painter.FatalException(), nullptr);
}

} // namespace
