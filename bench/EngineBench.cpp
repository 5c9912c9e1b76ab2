// Paints reference views at 1920 x 1080 with both schedules, checks that they draw the
// very same pixels in the same order, and prints their times next to the iteration
// throughput of a tight one-pixel loop and of two interleaved pixels on the same pixels.
// The sweep (the coarse-to-fine test and fill) is timed apart, on the same views with
// every calculation's result known beforehand, so that the painter's iteration rate is
// taken over the time it spends on iterations alone.
#include "engine/EscapePair.h"
#include "engine/MandelPaint.h"
#include "engine/PaintWaiter.h"
#include "platform/PageMemory.h"
#include "platform/Surface.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

struct TPlot {
    int X, Y;
    TColour Colour;
    bool operator==(const TPlot&) const = default;
};

// Keeps every pixel drawn, in order; only the painter thread writes while it paints. Its
// memory is touched before the paint, so that the figures are the painter's and not the
// kernel's page faults.
class TRecordingWindow final : public TWindow, public TDeviceContext {
public:
    explicit TRecordingWindow(std::size_t Capacity) : Plots(Capacity) {}
    HDC GetDC() override {
        return std::shared_ptr<TDeviceContext>(std::shared_ptr<TDeviceContext>{}, this);
    }
    void SetPixel(int X, int Y, TColour Colour) override {
        if (Count == Plots.size())
            Plots.resize(Plots.size() * 2 + 1);
        Plots[Count++] = {X, Y, Colour};
    }
    std::vector<TPlot> Taken() {
        Plots.resize(Count);
        return std::move(Plots);
    }

private:
    std::vector<TPlot> Plots;
    std::size_t Count = 0;
};

// Remembers which pixels the refinement chose to calculate, and keeps its view.
class TBenchPaint : public TMandelPaint {
public:
    std::vector<std::pair<std::int32_t, std::int32_t>> Calculated;

protected:
    void AddCalculation(std::int32_t X, std::int32_t Y) override {
        Calculated.emplace_back(X, Y);
        TMandelPaint::AddCalculation(X, Y);
    }
    void AfterPaint() override {}
};

// The sweep alone: each point the refinement calculates takes its known result at once,
// drawn into a surface as the saver's windows are.
class TReplayPaint : public TFunctionPaint {
public:
    const std::vector<std::int32_t>* Known = nullptr;

protected:
    TFunctionPaintCalculation* CreateCalculation(std::int32_t, std::int32_t) override {
        throw EAssertionFailed("TReplayPaint.CreateCalculation: never pending");
    }
    void AddCalculation(std::int32_t X, std::int32_t Y) override {
        SetValue(X, Y, (*Known)[static_cast<std::size_t>(X) * Height() + Y]);
    }
    bool CalculationsPending() const override { return false; }
    void ProcessCalculations() override { EndCycle(false); }
    void SweepPass() override {
        SweepPoints([this] { EndCycle(false); });
    }
};

// The escape iteration exactly as a calculation step does it, one pixel to the end.
std::int32_t Escape(Extended CX, Extended CY, std::int32_t MaxAge, Extended Limit,
                    std::int64_t& Steps) {
    Extended ZR = 0, ZI = 0, ZR2 = 0, ZI2 = 0;
    std::int32_t Remaining = MaxAge;
    for (;;) {
        ZI = ZR * 2 * ZI + CY;
        ZR = ZR2 - ZI2 + CX;
        ZR2 = ZR * ZR;
        ZI2 = ZI * ZI;
        --Remaining;
        if (ZR2 + ZI2 > Limit || Remaining <= 0)
            break;
    }
    Steps += MaxAge - Remaining;
    return Remaining;
}

// Every point to its end, two at a time interleaved by hand in the x87 registers, each lane
// refilled as soon as its pixel ends, with no cycle search: what interleaving alone gives,
// the ceiling of the painter's pair loop. z_0 = 0 is tested too, harmless under a limit of
// 0 or more; the last point runs beside an idle lane. Returns the steps taken.
std::int64_t EscapePairs(const std::vector<std::pair<Extended, Extended>>& Points,
                         std::int32_t MaxAge, Extended Limit) {
    std::int64_t Steps = 0;
    std::size_t Next = 0;
    TPairLane Lanes[2] = {};
    std::int32_t Count[2], Taken[2];
    bool Busy[2];
    const auto Load = [&](int L) {
        Busy[L] = Next < Points.size();
        const auto [CX, CY] = Busy[L] ? Points[Next++] : std::pair<Extended, Extended>{0, 0};
        Lanes[L] = {0, 0, CX, CY, 0};
        // One micro-step more than the steps allowed: the last one tests z_MaxAge.
        Count[L] = Busy[L] ? MaxAge + 1 : std::numeric_limits<std::int32_t>::max();
        Taken[L] = 0;
    };
    Load(0);
    Load(1);
    while (Busy[0] || Busy[1]) {
        const std::int32_t Started[2] = {Count[0], Count[1]};
        const int Exit = RunPair<false>(Lanes[0], Lanes[1], Limit, Count[0], Count[1]);
        Taken[0] += Started[0] - Count[0];
        Taken[1] += Started[1] - Count[1];
        const int L = Exit <= RepeatA ? 0 : 1;
        // An escape at z_K leaves Taken = K; counting out leaves MaxAge + 1 for MaxAge.
        Steps += std::min(Taken[L], MaxAge);
        Load(L);
    }
    return Steps;
}

double Seconds(TClock::duration D) {
    return std::chrono::duration<double>(D).count();
}

struct TView {
    const char* Name;
    Extended X, Y, Radius;
};

struct TPaintResult {
    double Time;
    std::vector<TPlot> Plots;
    // Flat, column X at X * Height, as the painter keeps them: the replay's lookups stay
    // cheap and out of the sweep's figure.
    std::vector<std::int32_t> Values;
    std::vector<std::pair<std::int32_t, std::int32_t>> Calculated;
    std::vector<std::pair<Extended, Extended>> Points;
    std::int64_t Iterations, Computed;
};

constexpr std::int32_t BenchInitialStep = 64;
constexpr Extended BenchLimit = 10000;
constexpr double ShortPaint = 2.0; // seconds
constexpr int ShortPaintRounds = 5;
// A sweep takes tens of milliseconds, where a busy machine's noise is large.
constexpr int SweepRounds = 20;

TPaintResult Paint(const TView& View, int Width, int Height, std::int32_t MaxAge,
                   TMandelSchedule Schedule) {
    TPainter<TBenchPaint> Painter;
    Painter.Schedule = Schedule;
    Painter.InitialStep = BenchInitialStep;
    Painter.MaxAge = MaxAge;
    Painter.DistanceLimit = BenchLimit;
    Painter.ShowZoomFrame = false;
    Painter.SetView(View.X, View.Y, View.Radius);
    auto Window = std::make_shared<TRecordingWindow>(static_cast<std::size_t>(Width) * Height * 2);
    TPaintWaiter Waiter(Painter);
    const auto Start = TClock::now();
    Waiter.Paint(Window, {0, 0, Width - 1, Height - 1});
    TPaintResult Result{
        Seconds(TClock::now() - Start), Window->Taken(), {}, {}, {}, Painter.Iterations,
        Painter.ComputedIterations};
    for (int X = 0; X < Width; ++X)
        Result.Values.insert(Result.Values.end(), Painter.Values[X].begin(),
                             Painter.Values[X].end());
    Result.Calculated = std::move(Painter.Calculated);
    for (const auto& [X, Y] : Result.Calculated)
        Result.Points.emplace_back(Painter.XCoords[X], Painter.YCoords[Y]);
    return Result;
}

// Best time of a few sweeps over the values of a paint; Same tells whether the sweep
// came out with those values, and Colours is the table it drew with.
double SweepTime(const std::vector<std::int32_t>& Known, int Width, int Height, bool& Same,
                 std::vector<TColour>& Colours) {
    TPainter<TReplayPaint> Painter;
    Painter.Known = &Known;
    Painter.InitialStep = BenchInitialStep;
    Painter.AddGradient(0x0000FF, 0xFFFF00, 100);
    Colours = Painter.Colours;
    auto Window = TSurfaceWindow::Create(Width, Height);
    TPaintWaiter Waiter(Painter);
    double Best = 1e9;
    for (int Round = 0; Round < SweepRounds; ++Round) {
        const auto Start = TClock::now();
        Waiter.Paint(Window, {0, 0, Width - 1, Height - 1});
        Best = std::min(Best, Seconds(TClock::now() - Start));
    }
    Same = true;
    for (int X = 0; X < Width && Same; ++X)
        Same = std::equal(Painter.Values[X].begin(), Painter.Values[X].end(),
                          Known.begin() + static_cast<std::ptrdiff_t>(X) * Height);
    return Best;
}

// What the order of the passes costs on this machine by itself: the same passes over the
// same values, with nothing but the test, the stores of value and pixel and the colour
// lookup, into plain memory on huge pages. No painter can sweep faster in this order; the
// gap between the two figures is what the painter adds.
double SweepFloor(const std::vector<std::int32_t>& Known, int Width, int Height,
                  const std::vector<TColour>& Colours) {
    const auto Count = static_cast<std::size_t>(Width) * Height;
    TPageMemory ValueMemory(Count * sizeof(std::int32_t));
    TPageMemory PixelMemory(Count * sizeof(std::uint32_t));
    auto* Values = static_cast<std::int32_t*>(ValueMemory.Data());
    auto* Pixels = static_cast<std::uint32_t*>(PixelMemory.Data());
    const auto At = [&](int X, int Y) { return static_cast<std::size_t>(X) * Height + Y; };
    const auto Pass = [&](int StartX, int StartY, bool Square, int S, bool Down) {
        const int H = S / 2;
        std::int32_t LastValue = -1;
        TColour LastColour = 0;
        const auto Visit = [&](int X, int Y) {
            std::int32_t V = -1;
            if (X - H >= 0 && X + H < Width && Y - H >= 0 && Y + H < Height) {
                const std::int32_t A = Square ? Values[At(X - H, Y - H)] : Values[At(X - H, Y)];
                const std::int32_t B = Square ? Values[At(X + H, Y + H)] : Values[At(X + H, Y)];
                const std::int32_t C = Square ? Values[At(X - H, Y + H)] : Values[At(X, Y + H)];
                const std::int32_t D = Square ? Values[At(X + H, Y - H)] : Values[At(X, Y - H)];
                if (A == B && C == D && A == D)
                    V = A;
            }
            if (V < 0)
                V = Known[At(X, Y)];
            Values[At(X, Y)] = V;
            if (V != LastValue) {
                LastValue = V;
                LastColour =
                    V < 0 ? clBlack : Colours[static_cast<std::uint32_t>(V) % Colours.size()];
            }
            Pixels[static_cast<std::size_t>(Y) * Width + X] = TSurface::ToArgb(LastColour);
        };
        if (Down)
            for (int X = StartX; X < Width; X += S)
                for (int Y = StartY; Y < Height; Y += S)
                    Visit(X, Y);
        else
            for (int Y = StartY; Y < Height; Y += S)
                for (int X = StartX; X < Width; X += S)
                    Visit(X, Y);
    };
    double Best = 1e9;
    for (int Round = 0; Round < SweepRounds; ++Round) {
        const auto Start = TClock::now();
        std::fill_n(Values, Count, -1);
        int S = BenchInitialStep;
        while (S > 1 && (S > Width || S > Height))
            S /= 2;
        bool Down = false;
        Pass(0, 0, true, S, Down);
        Down = !Down;
        for (; S > 1; S /= 2) {
            const int H = S / 2;
            for (const auto& [X, Y, Square] :
                 {std::tuple{H, H, true}, {0, H, false}, {H, 0, false}}) {
                Pass(X, Y, Square, S, Down);
                Down = !Down;
            }
        }
        Best = std::min(Best, Seconds(TClock::now() - Start));
    }
    return Best;
}

std::string Compare(const TPaintResult& R, const TPaintResult& A) {
    const std::size_t Common = std::min(R.Plots.size(), A.Plots.size());
    for (std::size_t i = 0; i < Common; ++i)
        if (!(R.Plots[i] == A.Plots[i]))
            return "DIFFER at plot " + std::to_string(i) + ": (" + std::to_string(R.Plots[i].X) +
                   "," + std::to_string(R.Plots[i].Y) + ") " + std::to_string(R.Plots[i].Colour) +
                   " vs (" + std::to_string(A.Plots[i].X) + "," + std::to_string(A.Plots[i].Y) +
                   ") " + std::to_string(A.Plots[i].Colour);
    if (R.Plots.size() != A.Plots.size())
        return "DIFFER in plot count " + std::to_string(R.Plots.size()) + " vs " +
               std::to_string(A.Plots.size());
    if (R.Values != A.Values)
        return "DIFFER in values";
    return "identical";
}

} // namespace

int main(int argc, char** argv) {
    // engine_bench [--sweep] [WIDTH HEIGHT [VIEW [AGE]]]: a single view and age are for
    // profiling; --sweep paints with the accelerated schedule only and times the sweep.
    const bool SweepOnly = argc >= 2 && std::string(argv[1]) == "--sweep";
    if (SweepOnly) {
        --argc;
        ++argv;
    }
    int Width = 1920, Height = 1080;
    if (argc >= 3) {
        Width = std::stoi(argv[1]);
        Height = std::stoi(argv[2]);
    }
    const std::string OnlyView = argc >= 4 ? argv[3] : "";
    const std::int32_t OnlyAge = argc >= 5 ? std::stoi(argv[4]) : 0;
    const TView Views[] = {
        {"whole set", 0.0L, 0.0L, 4.0L},
        {"seahorse", -0.743643887037158704752191506114774L, 0.131825904205311970493132056385139L,
         2.0e-9L},
        {"spiral", -0.7746806106269039L, -0.1374168856037867L, 1.0e-7L},
    };
    std::printf("Views at %d x %d, initial step %d, distance limit %.0Lf, one painter thread\n\n",
                Width, Height, BenchInitialStep, BenchLimit);
    if (!SweepOnly)
        std::printf("%-10s %6s %10s %10s %9s %9s %8s  %s\n", "view", "age", "reference", "accel.",
                    "speed-up", "calc. px", "computed", "drawn output");
    std::vector<std::pair<const TView*, std::pair<std::int32_t, TPaintResult>>> Kept;
    const std::vector<std::int32_t> Ages =
        OnlyAge != 0 ? std::vector<std::int32_t>{OnlyAge} : std::vector<std::int32_t>{1000, 10000};
    for (std::int32_t MaxAge : Ages)
        for (const auto& View : Views) {
            if (!OnlyView.empty() && OnlyView != View.Name)
                continue;
            TPaintResult A = Paint(View, Width, Height, MaxAge, TMandelSchedule::Accelerated);
            if (SweepOnly) {
                Kept.push_back({&View, {MaxAge, std::move(A)}});
                continue;
            }
            TPaintResult R = Paint(View, Width, Height, MaxAge, TMandelSchedule::Reference);
            // Short paints are repeated and the best time kept, since other work on the
            // machine only ever adds to a time.
            for (int Round = 1; Round < ShortPaintRounds && R.Time < ShortPaint; ++Round) {
                R.Time = std::min(
                    R.Time, Paint(View, Width, Height, MaxAge, TMandelSchedule::Reference).Time);
                A.Time = std::min(
                    A.Time, Paint(View, Width, Height, MaxAge, TMandelSchedule::Accelerated).Time);
            }
            std::printf("%-10s %6d %9.3fs %9.3fs %8.2fx %9zu %7.0f%%  %s\n", View.Name, MaxAge,
                        R.Time, A.Time, R.Time / A.Time, A.Calculated.size(),
                        100.0 * A.Computed / std::max<std::int64_t>(A.Iterations, 1),
                        Compare(R, A).c_str());
            Kept.push_back({&View, {MaxAge, std::move(A)}});
        }

    std::printf("\nThroughput on the pixels each view calculates (M iterations/s; the painter's "
                "figure counts the steps it really computed, and in brackets the steps stepping "
                "would take, over its paint time less the sweep's)\n");
    std::printf("%-10s %6s %12s %12s %12s %20s\n", "view", "age", "tight loop", "two pixels",
                "painter", "painter / tight");
    std::vector<std::string> SweepLines;
    const double Pixels = static_cast<double>(Width) * Height;
    for (const auto& [View, Run] : Kept) {
        const auto& [MaxAge, A] = Run;
        std::int64_t TightSteps = 0;
        volatile std::int32_t Sink = 0;
        const auto TightStart = TClock::now();
        for (const auto& [CX, CY] : A.Points)
            Sink = Sink + Escape(CX, CY, MaxAge, BenchLimit, TightSteps);
        const double TightRate = TightSteps / Seconds(TClock::now() - TightStart) / 1e6;
        const auto PairStart = TClock::now();
        const std::int64_t PairSteps = EscapePairs(A.Points, MaxAge, BenchLimit);
        const double PairRate = PairSteps / Seconds(TClock::now() - PairStart) / 1e6;
        if (PairSteps != TightSteps)
            std::printf("two pixels took %lld steps, the tight loop %lld: the pair loop is wrong\n",
                        static_cast<long long>(PairSteps), static_cast<long long>(TightSteps));
        bool Same = false;
        std::vector<TColour> Colours;
        const double Sweep = SweepTime(A.Values, Width, Height, Same, Colours);
        const double Floor = SweepFloor(A.Values, Width, Height, Colours);
        char Line[160];
        std::snprintf(Line, sizeof Line, "%-10s %6d %9.1f ms %7.2f ns %9.1f%% %8.2f ns  %s\n",
                      View->Name, MaxAge, Sweep * 1e3, Sweep / Pixels * 1e9, 100.0 * Sweep / A.Time,
                      Floor / Pixels * 1e9, Same ? "identical" : "DIFFER in values");
        SweepLines.emplace_back(Line);
        // The painter's rate over the time left to its iterations once the sweep is taken
        // off; the sweep in the paint also queues and draws, so this errs on the low side.
        const double IterationTime = std::max(A.Time - Sweep, 1e-9);
        const double PainterRate = A.Computed / IterationTime / 1e6;
        const double LogicalRate = A.Iterations / IterationTime / 1e6;
        std::printf("%-10s %6d %12.1f %12.1f %12.1f (%6.1f) %6.2fx (%.2fx)\n", View->Name, MaxAge,
                    TightRate, PairRate, PainterRate, LogicalRate, PainterRate / TightRate,
                    LogicalRate / TightRate);
    }
    std::printf("\nThe sweep alone, every result known: the test and fill of every pixel, the "
                "queueing and drawing of the calculated ones, into a surface of %d x %d\n",
                Width, Height);
    std::printf("(floor: the same passes over plain memory, test and stores only)\n");
    std::printf("%-10s %6s %12s %10s %10s %11s  %s\n", "view", "age", "sweep", "per pixel",
                "of paint", "floor", "values");
    for (const std::string& Line : SweepLines)
        std::fputs(Line.c_str(), stdout);
    return 0;
}
