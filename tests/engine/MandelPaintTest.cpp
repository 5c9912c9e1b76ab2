#include "EngineTestSupport.h"
#include "engine/Random.h"

#include <gtest/gtest.h>

namespace {

// The escape result of c after a paint of a 1 x 1 area centred on it.
int EscapeOf(Extended CX, Extended CY, int MaxAge, Extended Limit) {
    TPainter<TPatternMandelPaint> Painter;
    Painter.MaxAge = MaxAge;
    Painter.DistanceLimit = Limit;
    Painter.SetView(CX, CY, 1);
    auto Window = TSurfaceWindow::Create(1, 1);
    TPaintWaiter(Painter).Paint(Window, AreaOf(1, 1));
    return Painter.GetValue(0, 0);
}

TEST(MandelPaint, CoordinatesOfTheFourByThreeExample) {
    TPainter<TPatternMandelPaint> Painter;
    Painter.Pattern = [](int, int) { return 0; };
    Painter.KeepView = true;
    Painter.SetView(0, 0, 4);
    auto Window = TSurfaceWindow::Create(4, 3);
    TPaintWaiter(Painter).Paint(Window, AreaOf(4, 3));
    EXPECT_EQ(Painter.XCoords, (std::vector<Extended>{-3.2L, -1.6L, 0.0L, 1.6L}));
    EXPECT_EQ(Painter.YCoords, (std::vector<Extended>{-2.4L, 0.0L, 2.4L}));
}

TEST(MandelPaint, SinglePixelSideLiesOnTheCentre) {
    TPainter<TPatternMandelPaint> Painter;
    Painter.Pattern = [](int, int) { return 0; };
    auto Window = TSurfaceWindow::Create(1, 5);
    TPaintWaiter(Painter).Paint(Window, AreaOf(1, 5));
    Painter.SetView(0.5L, -0.25L, 2);
    EXPECT_EQ(Painter.XCoords.at(0), 0.5L);
    EXPECT_EQ(Painter.YCoords.at(2), -0.25L);
}

TEST(MandelPaint, EscapeResultsAtTheEdgeOfTheLimit) {
    EXPECT_EQ(EscapeOf(0, 0, 1000, 1000), -2);  // never escapes
    EXPECT_EQ(EscapeOf(0, 0, 7, 1000), -2);     // whatever the age
    EXPECT_EQ(EscapeOf(100, 0, 1000, 1000), 1); // |c|^2 above the limit: step 1
    EXPECT_EQ(EscapeOf(-2, 0, 1000, 2), 1);     // the limit bounds |z|^2, not |z|
    EXPECT_EQ(EscapeOf(1, 1, 1000, 2), 2);      // equal to the limit does not escape
    EXPECT_EQ(EscapeOf(-2, 0, 1000, 4), -2);    // -2 stays at |z|^2 = 4 for ever
    // Escaping exactly at the last allowed step gets the full age, not "inside".
    EXPECT_EQ(EscapeOf(1, 1, 2, 2), 2);
    EXPECT_EQ(EscapeOf(1, 1, 1, 2), -2);
}

TEST(MandelPaint, DetailScoreThresholds) {
    // A 21 x 21 picture around pixel (10, 10): the first Differing cells of the
    // neighbourhood in scan order differ from the centre.
    for (auto [Differing, Expected] : {std::pair{0, 0}, {61, 50}, {62, 51}, {111, 91}, {120, 99}}) {
        TPainter<TPatternMandelPaint> Painter;
        Painter.Pattern = [Differing = Differing](int X, int Y) {
            const int DX = X - 5, DY = Y - 5;
            if (X == 10 && Y == 10)
                return 7;
            if (DX < 0 || DY < 0 || DX > 10 || DY > 10)
                return 0;
            int Index = DY * 11 + DX;
            if (Index > 60)
                --Index; // skip the centre
            return Index < Differing ? 1 : 7;
        };
        auto Window = TSurfaceWindow::Create(21, 21);
        TPaintWaiter(Painter).Paint(Window, AreaOf(21, 21));
        EXPECT_EQ(Painter.DetailScore(10, 10), Expected) << Differing << " differing cells";
    }
}

class ViewChoice : public ::testing::Test {
protected:
    void SetUp() override { TRandom::Instance().Reset(); }
    void TearDown() override { TRandom::Instance().Reset(); }

    static constexpr int Side = 60;
    std::shared_ptr<TSurfaceWindow> Window = TSurfaceWindow::Create(Side, Side);
};

TEST_F(ViewChoice, DetailedPictureZoomsIntoTheSampleAndStopsEarly) {
    const auto Unique = [](int X, int Y) { return X * 1000 + Y; }; // every sample scores 99
    TPainter<TPatternMandelPaint> Reference;
    Reference.Pattern = Unique;
    Reference.KeepView = true;
    Reference.SetView(0, 0, 4);
    TPaintWaiter(Reference).Paint(Window, AreaOf(Side, Side));

    TRandom::Instance().Reset();
    TPainter<TPatternMandelPaint> Painter;
    Painter.Pattern = Unique;
    Painter.ShowZoomFrame = false;
    Painter.SetView(0, 0, 4);
    TPaintWaiter(Painter).Paint(Window, AreaOf(Side, Side));

    // One sample (above 90, so sampling stopped), then the zoom size: the same draws
    // made by hand give the same view.
    TRandom::Instance().Reset();
    const int X = Random(Side - 20) + 10;
    const int Y = Random(Side - 20) + 10;
    const int Zoom = Random(50) + 30;
    EXPECT_EQ(Painter.CentreX, Reference.XCoords[X]);
    EXPECT_EQ(Painter.CentreY, Reference.YCoords[Y]);
    EXPECT_EQ(Painter.Radius, Zoom * 4.0L / 100);
}

TEST_F(ViewChoice, CheckerboardScoresTooLowToZoom) {
    // Half of every neighbourhood matches: score 49, not enough.
    TPainter<TPatternMandelPaint> Painter;
    Painter.Pattern = [](int X, int Y) { return (X + Y) % 2; };
    Painter.SetView(0, 0, 4);
    TPaintWaiter(Painter).Paint(Window, AreaOf(Side, Side));
    EXPECT_EQ(Painter.DetailScore(30, 30), 49);
    EXPECT_GE(Painter.Radius, 2.0L);
    EXPECT_LT(Painter.Radius, 3.0L);
}

TEST_F(ViewChoice, UniformPictureGivesARandomOverview) {
    TPainter<TPatternMandelPaint> Painter;
    Painter.Pattern = [](int, int) { return 3; };
    Painter.SetView(0, 0, 4);
    TPaintWaiter(Painter).Paint(Window, AreaOf(Side, Side));
    EXPECT_GE(Painter.CentreX, -1.0L);
    EXPECT_LT(Painter.CentreX, 1.0L);
    EXPECT_GE(Painter.Radius, 2.0L);
    EXPECT_LT(Painter.Radius, 3.0L);
}

TEST_F(ViewChoice, ExhaustedPrecisionSkipsSamplingForAnOverview) {
    TPainter<TPatternMandelPaint> Painter;
    Painter.Pattern = [](int X, int Y) { return X * 1000 + Y; }; // would zoom
    Painter.SetView(0.3L, 0.1L, 1e-30L);
    TPaintWaiter(Painter).Paint(Window, AreaOf(Side, Side));
    // No sample was drawn: the overview used the generator's first three reals.
    TRandom::Instance().Reset();
    const Extended R1 = RandomReal(), R2 = RandomReal(), R3 = RandomReal();
    EXPECT_EQ(Painter.CentreX, 2 * R1 - 1);
    EXPECT_EQ(Painter.CentreY, 2 * R2 - 1);
    EXPECT_EQ(Painter.Radius, R3 + 2);
}

TEST_F(ViewChoice, TerminatedPaintDrawsNoSample) {
    TPainter<TPatternMandelPaint> Painter;
    Painter.Pattern = [](int X, int Y) { return X * 1000 + Y; }; // would zoom
    Painter.TerminateInPaint = true;
    Painter.SetView(0, 0, 4);
    TPaintWaiter(Painter).Paint(Window, AreaOf(Side, Side));
    Painter.WaitFor();
    TRandom::Instance().Reset();
    const Extended R1 = RandomReal();
    EXPECT_EQ(Painter.CentreX, 2 * R1 - 1);
}

TEST_F(ViewChoice, SmallAreasTakeAnOverviewWithoutTouchingOutsideValues) {
    for (int W : {1, 5, 19}) {
        TPainter<TPatternMandelPaint> Painter;
        Painter.Pattern = [](int X, int Y) { return X * 1000 + Y; }; // would zoom
        auto Small = TSurfaceWindow::Create(W, 40);
        ASSERT_TRUE(TPaintWaiter(Painter).Paint(Small, AreaOf(W, 40)));
        EXPECT_EQ(Painter.FatalException(), nullptr);
        EXPECT_GE(Painter.Radius, 2.0L);
    }
}

TEST_F(ViewChoice, ZoomFrameInvertsOnlyTheOutline) {
    TRecordingWindow Recorder;
    TPainter<TPatternMandelPaint> Painter;
    Painter.Pattern = [](int X, int Y) { return (X * 7 + Y * 3) % 5; };
    Painter.ShowZoomFrame = true;
    Painter.SetView(0, 0, 4);
    HWND Handle(std::shared_ptr<TWindow>{}, &Recorder);
    TPaintWaiter(Painter).Paint(Handle, AreaOf(Side, Side));
    const auto Plots = Recorder.Take();
    ASSERT_FALSE(Plots.empty());
    // Every pixel drawn lies on the outline and is the inverse of its value's colour.
    int MinX = Side, MaxX = -1, MinY = Side, MaxY = -1;
    for (const auto& P : Plots) {
        MinX = std::min(MinX, P.X), MaxX = std::max(MaxX, P.X);
        MinY = std::min(MinY, P.Y), MaxY = std::max(MaxY, P.Y);
        EXPECT_EQ(P.Colour, clWhite - Painter.ColourOf(Painter.GetValue(P.X, P.Y)));
    }
    for (const auto& P : Plots)
        EXPECT_TRUE(P.X == MinX || P.X == MaxX || P.Y == MinY || P.Y == MaxY);

    Painter.ShowZoomFrame = false;
    TPaintWaiter(Painter).Paint(Handle, AreaOf(Side, Side));
    EXPECT_TRUE(Recorder.Take().empty());
}

TEST(MandelPaint, RefinementAgreesWithPerPixelComputationAndDrawsItsValues) {
    // A view without thin filaments: refinement from a fine first grid must find every
    // pixel's own escape result.
    constexpr int W = 64, H = 48, Age = 200;
    TPainter<TPatternMandelPaint> Painter;
    Painter.KeepView = true;
    Painter.InitialStep = 4;
    Painter.MaxAge = Age;
    Painter.SetView(-0.5L, 0, 3);
    auto Window = TSurfaceWindow::Create(W, H);
    TPaintWaiter(Painter).Paint(Window, AreaOf(W, H));
    EXPECT_GT(Painter.FilledPixels, 0);
    EXPECT_EQ(Painter.CalculatedPixels + Painter.FilledPixels, W * H);
    auto Surface = Window->Surface();
    for (int X = 0; X < W; ++X)
        for (int Y = 0; Y < H; ++Y) {
            ASSERT_EQ(Painter.GetValue(X, Y),
                      BruteEscape(Painter.XCoords[X], Painter.YCoords[Y], Age, 1000))
                << X << "," << Y;
            ASSERT_EQ(Surface->Pixel(X, Y), Painter.ColourOf(Painter.GetValue(X, Y)));
        }
}

TEST(MandelPaint, AfterAZoomThePainterPaintsTheChosenView) {
    TRandom::Instance().Reset();
    TPainter<TMandelPaint> Painter;
    Painter.ShowZoomFrame = false;
    Painter.SetView(-0.75L, 0.1L, 0.05L);
    auto Window = TSurfaceWindow::Create(80, 60);
    TPaintWaiter Waiter(Painter);
    for (int View = 0; View < 5; ++View) {
        const Extended Radius = Painter.Radius;
        ASSERT_TRUE(Waiter.Paint(Window, AreaOf(80, 60)));
        const bool Zoomed = Painter.Radius < Radius * 0.8L && Painter.Radius >= Radius * 0.3L;
        const bool Overview = Painter.Radius >= 2 && Painter.Radius < 3;
        EXPECT_TRUE(Zoomed || Overview) << "view " << View;
    }
    EXPECT_EQ(Painter.FatalException(), nullptr);
    TRandom::Instance().Reset();
}

} // namespace
