#pragma once

#include "engine/DeepNumbers.h"
#include "engine/DrawCalendar.h"
#include "engine/EscapeKernel.h"
#include "engine/EscapeStream.h"
#include "engine/Extended.h"
#include "engine/FunctionPaint.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class TBigReal;
class TDeepZoom;
class TMandelPaint;

// The escape iteration of one pixel, one step per Advance, all in extended precision.
class TMandelPaintCalculation final : public TFunctionPaintCalculation {
public:
    static constexpr std::int32_t InsideResult = -2;

    TMandelPaintCalculation(TMandelPaint* AOwner, std::int32_t AX, std::int32_t AY, Extended ACX,
                            Extended ACY, std::int32_t AMaxAge);

    void Advance() override;

    // One iteration step against the given limits; true when the result is known.
    // Inline so that the painter's cycle loop keeps the limits in registers.
    bool Step(Extended Limit, std::int32_t Age) {
        ZI = ZR * 2 * ZI + CY;
        ZR = ZR2 - ZI2 + CX;
        ZR2 = ZR * ZR;
        ZI2 = ZI * ZI;
        --Remaining;
        // Escape first, then exhaustion: a point escaping at the last allowed step
        // gets the full age.
        if (ZR2 + ZI2 > Limit) {
            Finish(Age - Remaining);
            return true;
        }
        if (Remaining <= 0) {
            Finish(InsideResult);
            return true;
        }
        return false;
    }

    Extended CX;
    Extended CY;
    Extended ZR = 0;
    Extended ZI = 0;
    Extended ZR2 = 0;
    Extended ZI2 = 0;
    std::int32_t Remaining;
};

// How the pending calculations are run. Both give the same values, the same pixels in the
// same order and the same next view (docs/engine-acceleration.md).
enum class TMandelSchedule {
    // One step per calculation per cycle, each calculation an object of its own.
    Reference,
    // Each calculation runs to its end when queued; its drawing waits for its cycle.
    Accelerated,
};

// The Mandelbrot painter: supplies the escape-time function and, after each view,
// chooses the next one itself (a zoom into the most detailed spot, or a random overview).
class TMandelPaint : public TFunctionPaint {
public:
    // Result of a point that never escapes within MaxAge steps.
    static constexpr std::int32_t InsideValue = TMandelPaintCalculation::InsideResult;
    static constexpr std::int32_t DefaultMaxAge = 1000;
    static constexpr Extended DefaultDistanceLimit = 1000.0L;

    // View selection.
    static constexpr int SampleCount = 70;
    static constexpr int SampleMargin = 10; // keeps the 11 x 11 neighbourhood inside
    static constexpr int MinSampleSide = 2 * SampleMargin;
    static constexpr int ScoreRadius = 5;
    static constexpr int ZoomScoreThreshold = 50;
    static constexpr int EarlyStopScore = 90;
    static constexpr int MinZoomPercent = 30;
    static constexpr int ZoomPercentRange = 50; // 30 .. 79 per cent

    TMandelPaint();
    ~TMandelPaint() override;

    void SetView(Extended ACentreX, Extended ACentreY, Extended ARadius);
    // A view given in arbitrary precision, kept exactly; the 80-bit fields get its nearest
    // values. Painted as such only with DeepZoom.
    void SetDeepView(const TBigReal& X, const TBigReal& Y, const TBigReal& ARadius);
    // The view in arbitrary precision, and the figures of its deep paint.
    const TDeepZoom& Deep() const { return *FDeep; }
    // Share in whole per cent of the 11 x 11 neighbourhood that differs from the pixel.
    int DetailScore(std::int32_t X, std::int32_t Y) const;

    std::vector<Extended> YCoords;
    std::vector<Extended> XCoords;
    Extended CentreX = 0;
    Extended CentreY = 0;
    Extended Radius = 0;
    // Written by the owner only while the painter is idle or held.
    std::int32_t MaxAge = DefaultMaxAge;
    Extended DistanceLimit = DefaultDistanceLimit; // bound on |z|^2, not |z|
    bool ShowZoomFrame = true;
    // Where the 80-bit numbers can no longer tell the pixels apart, go on zooming with the
    // view in arbitrary precision and the pixels by perturbation (docs/deep-zoom.md)
    // instead of starting again from an overview. Read when a paint begins.
    bool DeepZoom = false;
    // The number type of the deep path: chosen by the depth, or one for tests and
    // benchmarks, which then takes the deep path at any depth. Chosen only while idle.
    TDeepNumbers DeepNumbers = TDeepNumbers::Automatic;

    // Chosen only while the painter is idle.
    TMandelSchedule Schedule = TMandelSchedule::Accelerated;
    // How many calculations the accelerated schedule may run ahead of the sweep: enough to
    // keep two orbits in flight beside a long one, few enough (by their steps allowed)
    // that a Suspend is held within milliseconds.
    static constexpr std::size_t LookaheadJobs = 64;
    static constexpr std::size_t LookaheadSteps = 1 << 20;
    // How many points the lookahead walks at one look for the next one to calculate, at
    // least and at most (see LookaheadWalk).
    static constexpr int MinLookaheadWalk = 64;
    static constexpr int MaxLookaheadWalk = 4096;

    // Iteration steps of the last paint as one-step-per-cycle counts them (each
    // calculation's slices), and the steps really computed; read while idle.
    std::int64_t Iterations = 0;
    std::int64_t ComputedIterations = 0;
    // Whether the last paint took the deep path; its steps are then those of the
    // perturbation and of the table, in ComputedIterations.
    bool DeepPixels() const { return FDeepPixels; }

protected:
    void PrepareArea() override;
    void PaintArea() override;
    void AfterPaint() override;
    TFunctionPaintCalculation* CreateCalculation(std::int32_t X, std::int32_t Y) override;
    void ProcessCalculations() override;
    void AddCalculation(std::int32_t X, std::int32_t Y) override;
    bool CalculationsPending() const override;
    void DrainCalculations() override;
    void SweepPass() override {
        if (Stepping())
            TFunctionPaint::SweepPass();
        else
            SweepPoints([this] { AcceleratedCycle(); });
    }

private:
    // One step per calculation per cycle; the deep path always runs its pixels ahead.
    bool Stepping() const { return Schedule == TMandelSchedule::Reference && !FDeepPixels; }
    void ReferenceCycle();
    // Inline: the accelerated schedule runs a cycle at every visited point, and in most
    // of them nothing falls due.
    void AcceleratedCycle() {
        ++FCycle;
        // Newest first, as a cycle over the pending list would find them finished.
        for (TPendingDraw Draw; FCalendar.PopDue(FCycle, Draw);)
            SetValue(Draw.X, Draw.Y, Draw.Value);
        // Settings change only where a cycle ends; stepping calculations would face new
        // limits from the next cycle on, so the pending results are replanned right here.
        if (EndCycle(false)) [[unlikely]]
            SyncLimits();
    }
    // Inline for the common answer: the limits change only while the painter is held.
    void SyncLimits() {
        if (MaxAge != FAge || !SameLimit()) [[unlikely]]
            ChangeLimits();
    }
    // Bit for bit, so that a NaN limit counts as unchanged rather than changed at every
    // look; bytes rather than a copy, which would pass through the x87 unit.
    bool SameLimit() const { return std::memcmp(&DistanceLimit, &FLimit, ExtendedBytes) == 0; }
    void ChangeLimits();
    void Replan();
    // Files the result of a calculation queued at (X, Y) for its drawing.
    void FileResult(std::int32_t X, std::int32_t Y, const TEscapeJob& Job);
    // Makes the deep view's reference and table ready for the current limits, holding for
    // a pause on the way; false when stopped.
    bool PrepareDeep();
    void RestartLookahead(std::int32_t X, std::int32_t Y);
    TEscapeJob* SupplyLookahead();
    std::int32_t ValueOf(const TEscapeJob& Job) const;
    std::size_t LookaheadSize() const;
    int LookaheadWalk() const { return std::clamp(FAge, MinLookaheadWalk, MaxLookaheadWalk); }

    void ComputeCoordinates();
    bool PrecisionExhausted() const;
    void ChooseRandomOverview();
    void DrawZoomFrame(std::int32_t BestX, std::int32_t BestY, int ZoomPercent);
    void InvertPixel(std::int32_t X, std::int32_t Y);

    // Accelerated schedule: the last cycle run, the draws still to come, the limits the
    // pending results were computed with, and the results run ahead along the pass.
    std::int64_t FCycle = 0;
    TDrawCalendar FCalendar;
    std::int32_t FAge = DefaultMaxAge;
    Extended FLimit = DefaultDistanceLimit;
    // The points the pass will queue next, from the one it queues next on, as the
    // lookahead cursor found them; the first FSupplied are on their way in FStream.
    struct TAheadJob {
        std::int32_t X, Y;
        TEscapeJob Job;
    };
    std::deque<TAheadJob> FAhead; // a deque: the stream holds pointers into it
    std::size_t FSupplied = 0;
    TPassCursor FAheadCursor;
    std::int64_t FAheadPass = -1;
    TEscapeStream FStream;
    const TEscapeStream::TSupply FSupply = [this] { return SupplyLookahead(); };
    const std::function<bool()> FStop = [this] { return Terminated(); };

    // Deep zoom: the view in arbitrary precision, always kept beside the 80-bit one;
    // whether this paint began with DeepZoom and whether its pixels take the deep path;
    // whether the view was reached by the deep path (an 80-bit paint cannot show it).
    std::unique_ptr<TDeepZoom> FDeep;
    bool FDeepPaint = false;
    bool FDeepPixels = false;
    bool FViewFromDeep = false;
};
