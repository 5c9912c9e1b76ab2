// The accelerated schedule must draw exactly what one step per cycle draws: the same
// pixels in the same order, the same values and the same next view, also when settings
// change between two cycles and when a paint is terminated.
#include "EngineTestSupport.h"
#include "engine/EscapeKernel.h"
#include "engine/Random.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <thread>

namespace {

struct TChange {
    long AtPlot; // applied at the end of the cycle in which this many pixels were drawn
    std::optional<int> MaxAge = std::nullopt;
    std::optional<Extended> Limit = std::nullopt;
    std::optional<bool> Highlight = std::nullopt;
    bool NewColours = false;
    bool Terminate = false; // at once, in the middle of the drawing, from the painter thread
    // Made by another thread through Suspend and Resume, as the panel makes them: the
    // painter holds at the end of the next cycle.
    bool Held = false;
};

class THookedPaint;

// Records every pixel drawn, and lets the painter change its settings at a chosen pixel.
class THookedWindow final : public TWindow, public TDeviceContext {
public:
    HDC GetDC() override {
        return std::shared_ptr<TDeviceContext>(std::shared_ptr<TDeviceContext>{}, this);
    }
    void SetPixel(int X, int Y, TColour Colour) override;

    THookedPaint* Painter = nullptr;
    std::vector<TRecordingWindow::TPlot> Plots; // painter thread only, read after the paint
};

class THookedPaint : public TMandelPaint {
public:
    // The thread is stopped by then.
    ~THookedPaint() override { JoinHolder(); }
    std::vector<TChange> Changes;
    std::size_t NextChange = 0;
    THookedWindow* Window = nullptr;

    // After a paint: a hold asked for at its very end lapses, and the change is then
    // made while the painter is idle.
    void JoinHolder() {
        if (Holder.joinable())
            Holder.join();
    }

    void PlotDrawn() {
        if (NextChange < Changes.size() && Changes[NextChange].Terminate &&
            static_cast<long>(Window->Plots.size()) >= Changes[NextChange].AtPlot) {
            ++NextChange;
            Terminate();
        }
    }

protected:
    bool CycleEnded() override {
        bool Changed = false;
        // Past a cycle end since the hold was asked for: it has held and resumed.
        JoinHolder();
        while (NextChange < Changes.size() && !Changes[NextChange].Terminate &&
               static_cast<long>(Window->Plots.size()) >= Changes[NextChange].AtPlot) {
            const TChange& Change = Changes[NextChange++];
            if (Change.Held) {
                Holder = std::thread([this, Change] {
                    Suspend();
                    Apply(Change);
                    Resume();
                });
                // Not before the request is made, so that the hold comes at a known cycle.
                while (!SuspendRequested())
                    std::this_thread::yield();
                break;
            }
            Apply(Change);
            Changed = true;
        }
        return Changed;
    }

private:
    std::thread Holder;

    void Apply(const TChange& Change) {
        if (Change.MaxAge)
            MaxAge = *Change.MaxAge;
        if (Change.Limit)
            DistanceLimit = *Change.Limit;
        if (Change.Highlight)
            HighlightCalculations = *Change.Highlight;
        if (Change.NewColours) {
            ClearColours();
            AddGradient(0x0000FF, 0xFF8000, 7);
            AddColour(0x123456);
        }
    }
};

void THookedWindow::SetPixel(int X, int Y, TColour Colour) {
    Plots.push_back({X, Y, Colour});
    Painter->PlotDrawn();
}

struct TCase {
    Extended CX, CY, Radius;
    int Width, Height, InitialStep, MaxAge;
    Extended Limit;
    bool Highlight = false;
    bool Colours = false;
    std::uint64_t Seed = 1;
    std::vector<TChange> Changes = {};
};

std::ostream& operator<<(std::ostream& Out, const TCase& C) {
    return Out << "view (" << static_cast<double>(C.CX) << ", " << static_cast<double>(C.CY) << ", "
               << static_cast<double>(C.Radius) << ") " << C.Width << "x" << C.Height << " step "
               << C.InitialStep << " age " << C.MaxAge << " limit " << static_cast<double>(C.Limit)
               << " highlight " << C.Highlight << " seed " << C.Seed << " changes "
               << C.Changes.size();
}

struct TOutcome {
    std::vector<TRecordingWindow::TPlot> Plots;
    std::vector<std::vector<std::int32_t>> Values;
    Extended CentreX, CentreY, Radius;
    bool ColumnWise;
    std::int64_t Iterations;
    std::size_t Pending;
};

// Paints the case twice in a row (the second paint starts from the first one's chosen
// view and pass direction), with one schedule.
std::vector<TOutcome> PaintCase(const TCase& C, TMandelSchedule Schedule) {
    TRandom::Instance().SetSeed(C.Seed);
    TPainter<THookedPaint> Painter;
    auto Window = std::make_shared<THookedWindow>();
    Window->Painter = &Painter;
    Painter.Window = Window.get();
    Painter.Schedule = Schedule;
    Painter.Changes = C.Changes;
    Painter.InitialStep = C.InitialStep;
    Painter.MaxAge = C.MaxAge;
    Painter.DistanceLimit = C.Limit;
    Painter.HighlightCalculations = C.Highlight;
    if (C.Colours)
        Painter.AddGradient(0xFF0000, 0x00FF00, 5);
    Painter.SetView(C.CX, C.CY, C.Radius);
    std::vector<TOutcome> Outcomes;
    TPaintWaiter Waiter(Painter);
    for (int Paint = 0; Paint < 2 && !Painter.Terminated(); ++Paint) {
        EXPECT_TRUE(Waiter.Paint(Window, AreaOf(C.Width, C.Height)));
        Painter.JoinHolder();
        TOutcome Outcome{std::move(Window->Plots), {},
                         Painter.CentreX,          Painter.CentreY,
                         Painter.Radius,           Painter.ColumnWise,
                         Painter.Iterations,       0};
        Window->Plots.clear();
        for (int X = 0; X < C.Width; ++X)
            Outcome.Values.emplace_back(Painter.Values[X].begin(), Painter.Values[X].end());
        Outcome.Pending = Schedule == TMandelSchedule::Reference ? Painter.Calculations.size()
                                                                 : static_cast<std::size_t>(-1);
        Outcomes.push_back(std::move(Outcome));
        // Changes count pixels from the start of each paint.
        Painter.NextChange = 0;
    }
    EXPECT_FALSE(Painter.FatalException());
    return Outcomes;
}

void ExpectSame(const TCase& C) {
    const auto Reference = PaintCase(C, TMandelSchedule::Reference);
    const auto Accelerated = PaintCase(C, TMandelSchedule::Accelerated);
    ASSERT_EQ(Reference.size(), Accelerated.size()) << C;
    for (std::size_t i = 0; i < Reference.size(); ++i) {
        const TOutcome& R = Reference[i];
        const TOutcome& A = Accelerated[i];
        const std::size_t Common = std::min(R.Plots.size(), A.Plots.size());
        const auto Diff = std::mismatch(R.Plots.begin(), R.Plots.begin() + Common, A.Plots.begin());
        ASSERT_TRUE(Diff.first == R.Plots.begin() + Common)
            << C << ": paint " << i << " first differs at plot " << (Diff.first - R.Plots.begin())
            << ": (" << Diff.first->X << ", " << Diff.first->Y << ") " << Diff.first->Colour
            << " against (" << Diff.second->X << ", " << Diff.second->Y << ") "
            << Diff.second->Colour;
        ASSERT_EQ(R.Plots.size(), A.Plots.size()) << C << ": paint " << i;
        EXPECT_EQ(R.Values, A.Values) << C << ": paint " << i;
        EXPECT_EQ(R.CentreX, A.CentreX) << C;
        EXPECT_EQ(R.CentreY, A.CentreY) << C;
        EXPECT_EQ(R.Radius, A.Radius) << C;
        EXPECT_EQ(R.ColumnWise, A.ColumnWise) << C;
        if (C.Changes.empty()) {
            EXPECT_EQ(R.Iterations, A.Iterations) << C;
        }
    }
}

TEST(Acceleration, SameDrawingAsSteppingOverViewsSizesStepsAndSettings) {
    const TCase Cases[] = {
        {0, 0, 4, 64, 48, 16, 300, 1000, false, false, 1},
        {-0.75L, 0.1L, 0.3L, 90, 70, 32, 500, 10000, true, true, 2},
        {-0.75L, 0.1L, 0.3L, 90, 70, 2, 500, 2, false, true, 3},
        {-1.25L, 0, 0.2L, 61, 43, 64, 2000, 100, true, false, 4},
        {0.28L, 0.008L, 0.01L, 50, 50, 8, 1500, 1000, false, false, 5},
        {-0.1L, 0.9L, 0.05L, 33, 21, 256, 800, 4, true, true, 6},
        {-0.743643887037158704752L, 0.131825904205311970493L, 2e-9L, 40, 30, 4, 3000, 10000, false,
         true, 7},
        {-0.5L, 0, 1.5L, 1, 1, 32, 100, 1000, true, false, 8},
        {-0.5L, 0, 1.5L, 2, 17, 32, 100, 1000, true, false, 9},
        {-1.0L, 0.25L, 0.5L, 23, 5, 128, 250, 10, false, false, 10},
        {0, 0, 4, 25, 25, 16, 0, 1000, true, false, 11}, // no steps allowed at all
        {0, 0, 4, 25, 25, 16, 1, 1000, true, false, 12},
    };
    for (const TCase& C : Cases)
        ExpectSame(C);
}

TEST(Acceleration, SameDrawingOverRandomViewsAndSeeds) {
    TRandom::Instance().SetSeed(2024);
    std::vector<TCase> Cases;
    for (std::uint64_t Seed = 100; Seed < 112; ++Seed) {
        const Extended CX = RandomReal() * 2.5L - 2.0L, CY = RandomReal() * 1.2L;
        const Extended Radius = 0.5L / (1 + Random(100000));
        const int Width = 20 + Random(60), Height = 20 + Random(50);
        const int Step = 1 << Random(7);
        const int Ages[] = {100, 500, 1000, 3000};
        const Extended Limits[] = {2, 10, 100, 1000, 10000};
        Cases.push_back({CX, CY, Radius, Width, Height, Step, Ages[Random(4)], Limits[Random(5)],
                         Random(2) == 1, Random(2) == 1, Seed});
    }
    for (const TCase& C : Cases)
        ExpectSame(C);
}

TEST(Acceleration, SettingsChangedBetweenCyclesApplyAsToSteppingCalculations) {
    const Extended CX = -0.75L, CY = 0.1L, R = 0.3L;
    const std::vector<std::vector<TChange>> Scripts = {
        // More steps allowed for what is pending, then fewer.
        {{300, 3000}, {1500, 200}},
        // The age a pending calculation reports comes from the limit at its last step.
        {{500, 50}},
        // A lower bound makes pending (and periodic) orbits escape; a higher one delays.
        {{200, std::nullopt, 4}, {900, std::nullopt, 100000}},
        {{100, 700, 3, true}, {600, std::nullopt, std::nullopt, false, true}, {1200, 5000, 1000}},
        // Several changes in a row, some of them back to what was before.
        {{50, 400}, {51, 1000}, {400, 1000, 10000}, {700, 1000, 1000}},
    };
    std::uint64_t Seed = 40;
    for (const auto& Script : Scripts) {
        ExpectSame({CX, CY, R, 80, 60, 16, 1000, 1000, false, true, Seed++, Script});
        ExpectSame({0, 0, 4, 70, 50, 32, 1000, 1000, true, false, Seed++, Script});
    }
}

TEST(Acceleration, SettingsChangedWhileHeldBySuspendApplyAsToSteppingCalculations) {
    // The panel's way: another thread holds the painter, changes the settings, resumes it.
    const std::vector<std::vector<TChange>> Scripts = {
        {{300, 3000, std::nullopt, std::nullopt, false, false, true},
         {1500, 200, std::nullopt, std::nullopt, false, false, true}},
        {{200, std::nullopt, 4, true, true, false, true},
         {900, 50, 100000, false, false, false, true}},
    };
    std::uint64_t Seed = 60;
    for (const auto& Script : Scripts) {
        ExpectSame({-0.75L, 0.1L, 0.3L, 80, 60, 16, 1000, 1000, false, true, Seed++, Script});
        ExpectSame({0, 0, 4, 70, 50, 32, 1000, 1000, true, false, Seed++, Script});
    }
}

TEST(Acceleration, TerminateStopsAtTheSamePixelAndLeavesTheSameValues) {
    for (long At : {1L, 37L, 400L, 2500L}) {
        const TCase C{-0.75L, 0.1L, 0.3L,
                      80,     60,   16,
                      2000,   1000, true,
                      false,  7,    {{At, std::nullopt, std::nullopt, std::nullopt, false, true}}};
        ExpectSame(C);
        const auto Reference = PaintCase(C, TMandelSchedule::Reference);
        ASSERT_EQ(Reference.size(), 1u) << "a terminated painter paints no further area";
        if (At > 37) {
            EXPECT_GT(Reference[0].Pending, 0u) << "calculations are left pending";
        }
    }
}

TEST(Acceleration, KernelResultsMatchStepByStepAndCyclesEndEarly) {
    TRandom::Instance().SetSeed(99);
    std::vector<TEscapeJob> Jobs;
    for (int i = 0; i < 301; ++i)
        Jobs.push_back({RandomReal() * 2.6L - 2.1L, RandomReal() * 1.3L - 0.1L, 1 + Random(3000)});
    Jobs.push_back({0, 0, 5000});    // a fixed point at once
    Jobs.push_back({-1, 0, 5000});   // period 2
    Jobs.push_back({0.25L, 0, 500}); // converges too slowly to repeat within its steps
    Jobs.push_back({-2, 0, 0});      // no steps allowed: one step is still taken
    TEscapeKernel::Run(Jobs.data(), Jobs.size(), 4, [] { return false; });
    std::int64_t Computed = 0, Steps = 0;
    for (const TEscapeJob& Job : Jobs) {
        const int Expected = BruteEscape(Job.CX, Job.CY, Job.Allowed, 4);
        ASSERT_TRUE(Job.Finished);
        EXPECT_EQ(Job.Escaped ? Job.Steps : -2, Expected) << static_cast<double>(Job.CX);
        EXPECT_EQ(Job.Steps, Job.Escaped ? Expected : std::max(Job.Allowed, 1));
        // Resuming after any number of untested steps gives the same result.
        TEscapeJob Again = Job;
        TEscapeKernel::RunFrom(Again, Job.Steps - 1, 4, [] { return false; });
        ASSERT_TRUE(Again.Finished);
        EXPECT_EQ(Again.Steps, Job.Steps);
        EXPECT_EQ(Again.Escaped, Job.Escaped);
        Computed += Job.Computed;
        Steps += Job.Steps;
    }
    // Repeats are found within a step or two (a lane is compared at every other step).
    EXPECT_LE(Jobs[Jobs.size() - 4].Computed, 2);
    EXPECT_LE(Jobs[Jobs.size() - 3].Computed, 4);
    EXPECT_EQ(Jobs[Jobs.size() - 2].Computed, 500);
    EXPECT_LT(Computed, Steps) << "interior orbits stop at their first exact repeat";
}

TEST(Acceleration, KernelStopsWhenAsked) {
    std::vector<TEscapeJob> Jobs(3, TEscapeJob{0.25L, 0, 1 << 30});
    int Looks = 0;
    TEscapeKernel::Run(Jobs.data(), Jobs.size(), 4, [&] { return ++Looks == 3; });
    EXPECT_EQ(Looks, 3);
    for (const TEscapeJob& Job : Jobs)
        EXPECT_FALSE(Job.Finished);
    // Also while it repeats the steps taken before a change of limits (one step is left
    // after them, too few for a look of its own), and after them.
    const std::int32_t LongSkip = 1 << 24;
    for (const auto& [Skip, Allowed] : {std::pair{LongSkip, LongSkip + 1}, std::pair{1, 1 << 30}}) {
        TEscapeJob Job{0.25L, 0, Allowed};
        Looks = 0;
        TEscapeKernel::RunFrom(Job, Skip, 4, [&] { return ++Looks == 1; });
        EXPECT_EQ(Looks, 1);
        EXPECT_FALSE(Job.Finished);
    }
}

} // namespace
