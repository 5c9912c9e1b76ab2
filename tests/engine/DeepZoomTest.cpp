// Deep views against a plain escape loop in arbitrary precision, and the dive past the
// reach of the 80-bit numbers.
#include "engine/DeepZoom.h"
#include "EngineTestSupport.h"
#include "engine/BigReal.h"
#include "engine/Random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <vector>

namespace {

constexpr int MaxAge = 10000;

struct TDeepCase {
    const char* X;
    const char* Y;
    const char* Radius;
    int Width, Height;
    double Limit = 10000;
};

std::ostream& operator<<(std::ostream& Out, const TDeepCase& C) {
    return Out << "(" << C.X << ", " << C.Y << ") radius " << C.Radius << " limit " << C.Limit;
}

// The escape count of every pixel, each point laid out as the painter lays out its
// coordinates and iterated on its own, z -> z^2 + c, at log2(1 / radius) + 96 bits.
std::vector<int> DirectCounts(const TDeepCase& C) {
    const TBigReal R = TBigReal::Parse(C.Radius);
    const mpfr_prec_t Bits = 96 - R.Exponent();
    TBigReal CX(Bits), CY(Bits), D(Bits), SpanX(Bits), SpanY(Bits), X(Bits), Y(Bits), X2(Bits),
        Y2(Bits), T(Bits);
    mpfr_set_ui(D.Get(), static_cast<unsigned long>(C.Width * C.Width + C.Height * C.Height),
                MPFR_RNDN);
    mpfr_sqrt(D.Get(), D.Get(), MPFR_RNDN);
    mpfr_mul_ui(SpanX.Get(), R.Get(), static_cast<unsigned long>(C.Width), MPFR_RNDN);
    mpfr_div(SpanX.Get(), SpanX.Get(), D.Get(), MPFR_RNDN);
    mpfr_mul_ui(SpanY.Get(), R.Get(), static_cast<unsigned long>(C.Height), MPFR_RNDN);
    mpfr_div(SpanY.Get(), SpanY.Get(), D.Get(), MPFR_RNDN);
    const TBigReal Centre[2] = {TBigReal::Parse(C.X), TBigReal::Parse(C.Y)};
    // The point of pixel row or column I on an axis of Side pixels.
    const auto Coordinate = [&](TBigReal& Out, int I, int Side, const TBigReal& Span, int Axis) {
        mpfr_mul_si(Out.Get(), Span.Get(), I - Side / 2, MPFR_RNDN);
        mpfr_div_si(Out.Get(), Out.Get(), Side / 2, MPFR_RNDN);
        mpfr_add(Out.Get(), Out.Get(), Centre[Axis].Get(), MPFR_RNDN);
    };
    std::vector<int> Counts;
    for (int PX = 0; PX < C.Width; ++PX)
        for (int PY = 0; PY < C.Height; ++PY) {
            Coordinate(CX, PX, C.Width, SpanX, 0);
            Coordinate(CY, PY, C.Height, SpanY, 1);
            for (TBigReal* V : {&X, &Y, &X2, &Y2})
                mpfr_set_zero(V->Get(), 1);
            int Count = -2;
            for (int N = 1; N <= MaxAge; ++N) {
                mpfr_mul(T.Get(), X.Get(), Y.Get(), MPFR_RNDN);
                mpfr_mul_2ui(T.Get(), T.Get(), 1, MPFR_RNDN);
                mpfr_add(Y.Get(), T.Get(), CY.Get(), MPFR_RNDN);
                mpfr_sub(T.Get(), X2.Get(), Y2.Get(), MPFR_RNDN);
                mpfr_add(X.Get(), T.Get(), CX.Get(), MPFR_RNDN);
                mpfr_sqr(X2.Get(), X.Get(), MPFR_RNDN);
                mpfr_sqr(Y2.Get(), Y.Get(), MPFR_RNDN);
                mpfr_add(T.Get(), X2.Get(), Y2.Get(), MPFR_RNDN);
                if (mpfr_cmp_d(T.Get(), C.Limit) > 0) {
                    Count = N;
                    break;
                }
            }
            Counts.push_back(Count);
        }
    return Counts;
}

// The share of pixels whose deep value lies within one iteration of the direct count,
// every pixel calculated; inside the set counts as one past the maximum age.
double Agreement(const TDeepCase& C, const std::vector<int>& Direct, TDeepNumbers Numbers) {
    TPainter<TPatternMandelPaint> Painter;
    Painter.KeepView = true;
    Painter.DeepZoom = true;
    Painter.DeepNumbers = Numbers;
    Painter.InitialStep = 1;
    Painter.MaxAge = MaxAge;
    Painter.DistanceLimit = C.Limit;
    Painter.SetDeepView(TBigReal::Parse(C.X), TBigReal::Parse(C.Y), TBigReal::Parse(C.Radius));
    auto Window = TSurfaceWindow::Create(C.Width, C.Height);
    EXPECT_TRUE(TPaintWaiter(Painter).Paint(Window, AreaOf(C.Width, C.Height)));
    EXPECT_TRUE(Painter.DeepPixels());
    const auto Age = [](int V) { return V < 0 ? MaxAge + 1 : V; };
    int Close = 0;
    for (int PX = 0, I = 0; PX < C.Width; ++PX)
        for (int PY = 0; PY < C.Height; ++PY, ++I)
            Close += std::abs(Age(Painter.GetValue(PX, PY)) - Age(Direct[I])) <= 1;
    return static_cast<double>(Close) / (C.Width * C.Height);
}

class DeepView : public ::testing::TestWithParam<TDeepCase> {};

// Every number type that holds the depth: the one chosen and the wider ones.
TEST_P(DeepView, AgreesWithADirectIterationInArbitraryPrecision) {
    const TDeepCase& C = GetParam();
    const std::vector<int> Direct = DirectCounts(C);
    const bool DoubleHolds = TBigReal::Parse(C.Radius).Exponent() > -900;
    for (TDeepNumbers Numbers :
         {TDeepNumbers::Automatic, TDeepNumbers::Extended, TDeepNumbers::FloatExp}) {
        if (Numbers == TDeepNumbers::Extended && !DoubleHolds)
            continue; // chosen already
        EXPECT_GE(Agreement(C, Direct, Numbers), 0.995) << C << ", type " << int(Numbers);
    }
}

// Around 0 + 1i, a point of the set with detail at every depth; with a distance limit that
// its reference's -1 + 1i passes, where every pixel escapes at once, so that no table step
// may reach over it; off the centre, where the reference escapes early and pixels rebase; past
// double's range; and 0 - 1i past 1e-1000, where the direct loop takes 3400 bits (so few pixels).
INSTANTIATE_TEST_SUITE_P(
    Depths, DeepView,
    ::testing::Values(
        TDeepCase{"0", "1", "1e-60", 64, 36}, TDeepCase{"0", "1", "1e-60", 64, 36, 1.5},
        TDeepCase{"3.7e-60", "1.0000000000000000000000000000000000000000000000000000000000021",
                  "1e-60", 64, 36},
        TDeepCase{"0", "1", "1e-300", 32, 18}, TDeepCase{"0", "-1", "1e-1000", 16, 9}));

TEST(DeepZoom, TheChainOfViewsDivesOnWhereThe80BitOneStartsAgain) {
    // The painter's defaults, as a panel would run it, on a small area.
    constexpr int W = 80, H = 60;
    struct TView {
        Extended X, Y, Radius;
        bool operator==(const TView&) const = default;
    };
    const auto Chain = [&](bool Deep, std::vector<TView>& Views) {
        TRandom::Instance().Reset();
        TPainter<TMandelPaint> Painter;
        Painter.DeepZoom = Deep;
        Painter.ShowZoomFrame = false;
        Painter.SetView(0, 0, 4);
        auto Window = TSurfaceWindow::Create(W, H);
        TPaintWaiter Waiter(Painter);
        // Until an overview follows a deep view, or the dive passes 1e-30.
        for (int View = 0; View < 300 && Painter.Deep().Radius().Exponent() > -100; ++View) {
            Views.push_back({Painter.CentreX, Painter.CentreY, Painter.Radius});
            EXPECT_TRUE(Waiter.Paint(Window, AreaOf(W, H)));
            if (Painter.Radius >= 2 && Views.back().Radius < 1e-10L)
                break;
        }
        return Painter.Deep().Radius().ToExtended();
    };
    std::vector<TView> Plain, Deep;
    EXPECT_GE(Chain(false, Plain), 2); // an overview
    EXPECT_LT(Plain.back().Radius, 1e-15L);
    EXPECT_LT(Chain(true, Deep), 1e-30L);
    // The same views as long as the 80-bit numbers tell the pixels apart.
    const auto Shallow =
        std::count_if(Deep.begin(), Deep.end(), [](const TView& V) { return V.Radius > 1e-12L; });
    ASSERT_GT(Plain.size(), static_cast<std::size_t>(Shallow));
    EXPECT_TRUE(std::equal(Deep.begin(), Deep.begin() + Shallow, Plain.begin()));
    TRandom::Instance().Reset();
}

TEST(DeepZoom, UntickedDuringADiveTheNextViewIsAnOverview) {
    TPainter<TMandelPaint> Painter;
    Painter.SetDeepView(TBigReal::Parse("0"), TBigReal::Parse("1"), TBigReal::Parse("1e-40"));
    Painter.DeepZoom = false;
    auto Window = TSurfaceWindow::Create(40, 30);
    ASSERT_TRUE(TPaintWaiter(Painter).Paint(Window, AreaOf(40, 30)));
    EXPECT_FALSE(Painter.DeepPixels());
    EXPECT_GT(Painter.FilledPixels + Painter.CalculatedPixels, 0);
    // The overview was painted, and the next view is another overview or a zoom into it.
    EXPECT_GT(Painter.Radius, 0.5L);
}

// Raises the maximum age at the end of the first cycle, as a change made while held.
class TLongerAgePaint : public TMandelPaint {
protected:
    bool CycleEnded() override {
        if (MaxAge == LongerAge)
            return false;
        MaxAge = LongerAge;
        return true;
    }

public:
    static constexpr std::int32_t LongerAge = 20000;
};

TEST(DeepZoom, ALongerAgeSetBetweenTwoCyclesLengthensTheReference) {
    const auto Paint = [](TMandelPaint& Painter) {
        Painter.DeepZoom = true;
        Painter.SetDeepView(TBigReal::Parse("0"), TBigReal::Parse("1"), TBigReal::Parse("1e-300"));
        auto Window = TSurfaceWindow::Create(40, 30);
        EXPECT_TRUE(TPaintWaiter(Painter).Paint(Window, AreaOf(40, 30)));
        std::vector<int> Values;
        for (int X = 0; X < 40; ++X)
            for (int Y = 0; Y < 30; ++Y)
                Values.push_back(Painter.GetValue(X, Y));
        return Values;
    };
    TPainter<TLongerAgePaint> Changed;
    Changed.MaxAge = 100;
    TPainter<TMandelPaint> Fresh;
    Fresh.MaxAge = TLongerAgePaint::LongerAge;
    std::vector<int> Values = Paint(Changed);
    const std::vector<int> Expected = Paint(Fresh);
    // 0 + 1i never escapes: its reference follows the age.
    EXPECT_EQ(Changed.Deep().Figures().ReferenceLength, TLongerAgePaint::LongerAge);
    // The first pixel, pending at the change, still ends where it was allowed to, after
    // 100 steps; the rest had the longer age from the start.
    EXPECT_EQ(Values.front(), TMandelPaint::InsideValue);
    Values.front() = Expected.front();
    EXPECT_EQ(Values, Expected);
}

// The reference of a view this deep in the main cardioid takes many seconds: a point of the
// set whose iterates fill all their 66000 bits. Pause and stop take hold within it.
TEST(DeepZoom, PauseAndStopTakeHoldWhileTheReferenceIsComputed) {
    using TClock = std::chrono::steady_clock;
    TPainter<TMandelPaint> Painter;
    Painter.DeepZoom = true;
    Painter.MaxAge = TDeepZoom::MaxReferenceLength;
    Painter.SetDeepView(TBigReal::Parse("0.1" + std::string(20000, '7')), TBigReal::Parse("0"),
                        TBigReal::Parse("1e-20000"));
    auto Window = TSurfaceWindow::Create(40, 30);
    Painter.StartPaint(Window, AreaOf(40, 30));
    // The first hold may come before the reference begins; the second comes within it.
    for (int Hold = 0; Hold < 2; ++Hold) {
        const auto Start = TClock::now();
        Painter.Suspend();
        EXPECT_LT(TClock::now() - Start, std::chrono::milliseconds(500));
        EXPECT_TRUE(Painter.Busy());
        Painter.Resume();
    }
    const auto Start = TClock::now();
    Painter.Stop();
    EXPECT_LT(TClock::now() - Start, std::chrono::milliseconds(500));
    const auto Figures = Painter.Deep().Figures();
    EXPECT_GT(Figures.ReferenceBits, 66000);
    EXPECT_LT(Figures.ReferenceLength, TDeepZoom::MaxReferenceLength);
}

} // namespace
