// Prints the painter's iteration throughput next to a tight one-pixel-at-a-time loop on
// the same pixels, and the time to paint reference views at 1920 x 1080.
#include "engine/MandelPaint.h"
#include "engine/PaintWaiter.h"
#include "platform/Surface.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// Remembers which pixels the refinement chose to calculate.
class TRecordingPaint final : public TMandelPaint {
public:
    std::vector<std::pair<std::int32_t, std::int32_t>> Calculated;
    ~TRecordingPaint() override { StopThread(); }

protected:
    TFunctionPaintCalculation* CreateCalculation(std::int32_t X, std::int32_t Y) override {
        Calculated.emplace_back(X, Y);
        return TMandelPaint::CreateCalculation(X, Y);
    }
    // One view only: keep the view for the comparison below.
    void AfterPaint() override {}
};

// The escape iteration exactly as the painter does it, one pixel to the end.
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
        ++Steps;
        if (ZR2 + ZI2 > Limit)
            return MaxAge - Remaining;
        if (Remaining <= 0)
            return TMandelPaint::InsideValue;
    }
}

struct TView {
    const char* Name;
    Extended X, Y, Radius;
};

double Seconds(TClock::duration D) {
    return std::chrono::duration<double>(D).count();
}

void RunView(const TView& View, int Width, int Height, std::int32_t MaxAge) {
    constexpr std::int32_t InitialStep = 64;
    constexpr Extended Limit = 10000;
    TRecordingPaint Painter;
    Painter.InitialStep = InitialStep;
    Painter.MaxAge = MaxAge;
    Painter.DistanceLimit = Limit;
    Painter.ShowZoomFrame = false;
    Painter.SetView(View.X, View.Y, View.Radius);
    auto Window = TSurfaceWindow::Create(Width, Height);
    TPaintWaiter Waiter(Painter);
    const auto Start = TClock::now();
    Waiter.Paint(Window, {0, 0, Width - 1, Height - 1});
    const double PaintTime = Seconds(TClock::now() - Start);

    // The tight loop on the same pixels, one at a time.
    std::int64_t RefSteps = 0;
    volatile std::int32_t Sink = 0;
    const auto RefStart = TClock::now();
    for (const auto& [X, Y] : Painter.Calculated)
        Sink = Sink + Escape(Painter.XCoords[X], Painter.YCoords[Y], MaxAge, Limit, RefSteps);
    const double RefTime = Seconds(TClock::now() - RefStart);

    // Every pixel computed on its own, to count what the refinement filled wrongly.
    std::int64_t AllSteps = 0, Differ = 0;
    const auto FullStart = TClock::now();
    for (int X = 0; X < Width; ++X)
        for (int Y = 0; Y < Height; ++Y)
            if (Escape(Painter.XCoords[X], Painter.YCoords[Y], MaxAge, Limit, AllSteps) !=
                Painter.GetValue(X, Y))
                ++Differ;
    const double FullTime = Seconds(TClock::now() - FullStart);

    const double EngineRate = Painter.Iterations / PaintTime / 1e6;
    const double RefRate = RefSteps / RefTime / 1e6;
    std::printf("%-12s MaxAge %5d  paint %7.3f s  calculated %8lld of %lld px  "
                "iterations %11lld\n",
                View.Name, MaxAge, PaintTime, static_cast<long long>(Painter.CalculatedPixels),
                static_cast<long long>(Width) * Height, static_cast<long long>(Painter.Iterations));
    std::printf("%-12s   engine %6.1f M it/s   tight loop %6.1f M it/s   ratio %.2f\n", "",
                EngineRate, RefRate, EngineRate / RefRate);
    std::printf("%-12s   full per-pixel: %7.3f s, %lld px differ from the painted view\n", "",
                FullTime, static_cast<long long>(Differ));
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
        {"minibrot", -1.7685736562998L, 0.00173971623144L, 4.0e-11L},
    };
    std::printf("Views at %d x %d, initial step 64, distance limit 10000\n", Width, Height);
    for (std::int32_t MaxAge : {1000, 10000})
        for (const auto& View : Views)
            RunView(View, Width, Height, MaxAge);
    return 0;
}
