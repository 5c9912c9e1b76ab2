#pragma once

#include "engine/FunctionPaint.h"
#include "engine/MandelPaint.h"
#include "engine/PaintWaiter.h"
#include "platform/Errors.h"
#include "platform/Surface.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

// A window that remembers every pixel drawn into it, in order.
class TRecordingWindow final : public TWindow, public TDeviceContext {
public:
    struct TPlot {
        int X, Y;
        TColour Colour;
        bool operator==(const TPlot&) const = default;
    };
    HDC GetDC() override {
        ++DCs;
        return std::shared_ptr<TDeviceContext>(std::shared_ptr<TDeviceContext>{}, this);
    }
    void ReleaseDC(const HDC&) override { ++Released; }
    void SetPixel(int X, int Y, TColour Colour) override {
        std::lock_guard Guard(Lock);
        Plots.push_back({X, Y, Colour});
    }
    std::vector<TPlot> Take() {
        std::lock_guard Guard(Lock);
        return std::move(Plots);
    }
    std::atomic<int> DCs{0}, Released{0};

private:
    std::mutex Lock;
    std::vector<TPlot> Plots;
};

// A calculation that needs Slices slices and then reports Result.
class TCountdownCalculation final : public TFunctionPaintCalculation {
public:
    TCountdownCalculation(TFunctionPaint* Owner, int X, int Y, int Slices, int Result)
        : TFunctionPaintCalculation(Owner, Y, X), Left(Slices), Result(Result) {}
    void Advance() override {
        if (--Left <= 0)
            Finish(Result);
    }
    int Left, Result;
};

// A function painter over a function given by the test: value and slice count per pixel.
class TTestFunctionPaint : public TFunctionPaint {
public:
    std::function<int(int, int)> Function = [](int, int) { return 0; };
    std::function<int(int, int)> Slices = [](int, int) { return 1; };
    std::function<void()> OnPaint;
    std::vector<std::pair<int, int>> Queued;
    std::atomic<int> PrepareCount{0};
    std::atomic<int> PaintCount{0};

    using TFunctionPaint::Terminate;

protected:
    void PrepareArea() override {
        ++PrepareCount;
        TFunctionPaint::PrepareArea();
    }
    void PaintArea() override {
        ++PaintCount;
        if (OnPaint)
            OnPaint();
        TFunctionPaint::PaintArea();
    }
    TFunctionPaintCalculation* CreateCalculation(std::int32_t X, std::int32_t Y) override {
        Queued.emplace_back(X, Y);
        return new TCountdownCalculation(this, X, Y, Slices(X, Y), Function(X, Y));
    }
};

// A Mandelbrot painter whose paint can be replaced by a pattern written straight into
// Values, so that the view selection can be tested on a picture of the test's choosing.
class TPatternMandelPaint : public TMandelPaint {
public:
    std::function<int(int, int)> Pattern; // unset: the real paint
    bool TerminateInPaint = false;
    bool KeepView = false; // skip the view selection

protected:
    void AfterPaint() override {
        if (!KeepView)
            TMandelPaint::AfterPaint();
    }
    void PaintArea() override {
        if (TerminateInPaint)
            Terminate();
        if (!Pattern) {
            TMandelPaint::PaintArea();
            return;
        }
        for (int X = 0; X < Width(); ++X)
            for (int Y = 0; Y < Height(); ++Y)
                Values[X][Y] = Pattern(X, Y);
    }
};

struct TStepped {
    std::int32_t Steps;
    bool Escaped;
};

// The escape iteration of one point on its own, one step at a time as a calculation takes
// them: escape first, then exhaustion; a point allowed no steps still takes one.
inline TStepped Stepping(Extended CX, Extended CY, std::int32_t Allowed, Extended Limit) {
    Extended ZR = 0, ZI = 0, ZR2 = 0, ZI2 = 0;
    for (std::int32_t Remaining = Allowed;;) {
        ZI = ZR * 2 * ZI + CY;
        ZR = ZR2 - ZI2 + CX;
        ZR2 = ZR * ZR;
        ZI2 = ZI * ZI;
        --Remaining;
        if (ZR2 + ZI2 > Limit)
            return {Allowed - Remaining, true};
        if (Remaining <= 0)
            return {Allowed - Remaining, false};
    }
}

// Its value as the painter reports it for an unchanged MaxAge.
inline int BruteEscape(Extended CX, Extended CY, int MaxAge, Extended Limit) {
    const TStepped S = Stepping(CX, CY, MaxAge, Limit);
    return S.Escaped ? S.Steps : -2;
}

inline TRect AreaOf(int Width, int Height) {
    return {0, 0, Width - 1, Height - 1};
}
