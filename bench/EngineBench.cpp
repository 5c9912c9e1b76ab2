// Paints reference views at 1920 x 1080 with both schedules, checks that they draw the
// very same pixels in the same order, and prints their times next to the iteration
// throughput of a tight one-pixel loop and of two interleaved pixels on the same pixels.
#include "engine/MandelPaint.h"
#include "engine/PaintWaiter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

struct TPlot {
    int X, Y;
    TColour Colour;
    bool operator==(const TPlot&) const = default;
};

// Keeps every pixel drawn, in order; only the painter thread writes while it paints.
class TRecordingWindow final : public TWindow, public TDeviceContext {
public:
    HDC GetDC() override {
        return std::shared_ptr<TDeviceContext>(std::shared_ptr<TDeviceContext>{}, this);
    }
    void SetPixel(int X, int Y, TColour Colour) override { Plots.push_back({X, Y, Colour}); }
    std::vector<TPlot> Plots;
};

// Remembers which pixels the refinement chose to calculate, and keeps its view.
class TBenchPaint final : public TMandelPaint {
public:
    std::vector<std::pair<std::int32_t, std::int32_t>> Calculated;
    ~TBenchPaint() override { StopThread(); }

protected:
    void AddCalculation(std::int32_t X, std::int32_t Y) override {
        Calculated.emplace_back(X, Y);
        TMandelPaint::AddCalculation(X, Y);
    }
    void AfterPaint() override {}
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

// Two pixels interleaved in one loop, each lane refilled as soon as its pixel ends, with
// no cycle detection: what interleaving alone gives.
std::int64_t EscapePairs(const std::vector<std::pair<Extended, Extended>>& Points,
                         std::int32_t MaxAge, Extended Limit) {
    struct TLane {
        Extended CX, CY, ZR, ZI, ZR2, ZI2;
        std::int32_t Remaining;
    };
    std::int64_t Steps = 0;
    std::size_t Next = 0;
    const auto Load = [&](TLane& L) {
        L = {Points[Next].first, Points[Next].second, 0, 0, 0, 0, MaxAge};
        ++Next;
    };
    const auto Step = [&](TLane& L) {
        L.ZI = L.ZR * 2 * L.ZI + L.CY;
        L.ZR = L.ZR2 - L.ZI2 + L.CX;
        L.ZR2 = L.ZR * L.ZR;
        L.ZI2 = L.ZI * L.ZI;
        --L.Remaining;
        return L.ZR2 + L.ZI2 > Limit || L.Remaining <= 0;
    };
    if (Points.size() < 2)
        return 0;
    TLane A, B;
    Load(A);
    Load(B);
    for (;;) {
        const bool AEnd = Step(A);
        const bool BEnd = Step(B);
        if (AEnd) [[unlikely]] {
            Steps += MaxAge - A.Remaining;
            if (Next == Points.size()) {
                if (!BEnd)
                    while (!Step(B)) {
                    }
                Steps += MaxAge - B.Remaining;
                return Steps;
            }
            Load(A);
        }
        if (BEnd) [[unlikely]] {
            Steps += MaxAge - B.Remaining;
            if (Next == Points.size()) {
                while (!Step(A)) {
                }
                Steps += MaxAge - A.Remaining;
                return Steps;
            }
            Load(B);
        }
    }
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
    std::vector<std::vector<std::int32_t>> Values;
    std::vector<std::pair<std::int32_t, std::int32_t>> Calculated;
    std::vector<std::pair<Extended, Extended>> Points;
    std::int64_t Iterations, Computed;
};

constexpr std::int32_t BenchInitialStep = 64;
constexpr Extended BenchLimit = 10000;

TPaintResult Paint(const TView& View, int Width, int Height, std::int32_t MaxAge,
                   TMandelSchedule Schedule) {
    TBenchPaint Painter;
    Painter.Schedule = Schedule;
    Painter.InitialStep = BenchInitialStep;
    Painter.MaxAge = MaxAge;
    Painter.DistanceLimit = BenchLimit;
    Painter.ShowZoomFrame = false;
    Painter.SetView(View.X, View.Y, View.Radius);
    auto Window = std::make_shared<TRecordingWindow>();
    Window->Plots.reserve(static_cast<std::size_t>(Width) * Height * 2);
    TPaintWaiter Waiter(Painter);
    const auto Start = TClock::now();
    Waiter.Paint(Window, {0, 0, Width - 1, Height - 1});
    TPaintResult Result{
        Seconds(TClock::now() - Start), std::move(Window->Plots), {}, {}, {}, Painter.Iterations,
        Painter.ComputedIterations};
    for (int X = 0; X < Width; ++X)
        Result.Values.push_back(Painter.Values[X]);
    Result.Calculated = std::move(Painter.Calculated);
    for (const auto& [X, Y] : Result.Calculated)
        Result.Points.emplace_back(Painter.XCoords[X], Painter.YCoords[Y]);
    return Result;
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
    int Width = 1920, Height = 1080;
    if (argc == 3) {
        Width = std::stoi(argv[1]);
        Height = std::stoi(argv[2]);
    }
    const TView Views[] = {
        {"whole set", 0.0L, 0.0L, 4.0L},
        {"seahorse", -0.743643887037158704752191506114774L, 0.131825904205311970493132056385139L,
         2.0e-9L},
        {"spiral", -0.7746806106269039L, -0.1374168856037867L, 1.0e-7L},
    };
    std::printf("Views at %d x %d, initial step %d, distance limit %.0Lf, one painter thread\n\n",
                Width, Height, BenchInitialStep, BenchLimit);
    std::printf("%-10s %6s %10s %10s %9s %9s %8s  %s\n", "view", "age", "reference", "accel.",
                "speed-up", "calc. px", "computed", "drawn output");
    std::vector<std::pair<const TView*, std::pair<std::int32_t, TPaintResult>>> Kept;
    for (std::int32_t MaxAge : {1000, 10000})
        for (const auto& View : Views) {
            const TPaintResult R = Paint(View, Width, Height, MaxAge, TMandelSchedule::Reference);
            TPaintResult A = Paint(View, Width, Height, MaxAge, TMandelSchedule::Accelerated);
            std::printf("%-10s %6d %9.3fs %9.3fs %8.2fx %9zu %7.0f%%  %s\n", View.Name, MaxAge,
                        R.Time, A.Time, R.Time / A.Time, A.Calculated.size(),
                        100.0 * A.Computed / std::max<std::int64_t>(A.Iterations, 1),
                        Compare(R, A).c_str());
            Kept.push_back({&View, {MaxAge, std::move(A)}});
        }

    std::printf("\nThroughput on the pixels each view calculates (M iterations/s; the painter's "
                "figure counts the steps it really computed, and in brackets the steps stepping "
                "would take)\n");
    std::printf("%-10s %6s %12s %12s %12s %20s\n", "view", "age", "tight loop", "two pixels",
                "painter", "painter / tight");
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
        const double PainterRate = A.Computed / A.Time / 1e6;
        const double LogicalRate = A.Iterations / A.Time / 1e6;
        std::printf("%-10s %6d %12.1f %12.1f %12.1f (%6.1f) %6.2fx (%.2fx)\n", View->Name, MaxAge,
                    TightRate, PairRate, PainterRate, LogicalRate, PainterRate / TightRate,
                    LogicalRate / TightRate);
    }
    return 0;
}
