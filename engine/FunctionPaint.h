#pragma once

#include "engine/SaverPaint.h"
#include "engine/ValueColumns.h"

#include <algorithm>
#include <cstdint>
#include <vector>

class TFunctionPaint;

// The pending calculation of one pixel. Advance does one bounded slice of the work and
// calls Finish once the result is known.
class TFunctionPaintCalculation {
public:
    TFunctionPaintCalculation(TFunctionPaint* AOwner, std::int32_t AY, std::int32_t AX)
        : Owner(AOwner), Y(AY), X(AX) {}
    virtual ~TFunctionPaintCalculation() = default;

    virtual void Advance() = 0;
    void Finish(std::int32_t AValue) {
        Value = AValue;
        Done = true;
    }

    TFunctionPaint* Owner;
    bool Done = false;
    std::int32_t Value = 0;
    std::int32_t Y;
    std::int32_t X;
};

// Where a refinement pass stands: its lattice and direction, and the point it visits.
struct TPassCursor {
    std::int32_t StartX = 0;
    std::int32_t StartY = 0;
    std::int32_t S = 1;
    bool ColumnWise = false;
    bool Square = true; // CheckSquare, else CheckDiamond
    std::int32_t X = 0;
    std::int32_t Y = 0;

    bool Inside(std::int32_t Width, std::int32_t Height) const { return X < Width && Y < Height; }
    void Next(std::int32_t Width, std::int32_t Height) {
        if (ColumnWise) {
            Y += S;
            if (Y >= Height) {
                Y = StartY;
                X += S;
            }
        } else {
            X += S;
            if (X >= Width) {
                X = StartX;
                Y += S;
            }
        }
    }
};

// Paints a function of the pixel position by adaptive refinement: a coarse grid first,
// then ever finer grids whose points take their neighbours' common value without
// calculation where the neighbours agree. All pending calculations advance one slice per
// cycle, interleaved with the sweep, so the picture sharpens on screen as it is computed.
// The algorithm is explained in docs/engine.md.
class TFunctionPaint : public TSaverPaint {
public:
    // The largest area side in pixels; a wider or higher area is refused by PrepareArea.
    static constexpr std::int32_t MaxAreaSide = 16384;
    static constexpr std::int32_t DefaultInitialStep = 32;
    static constexpr std::int32_t NotCalculated = -1;
    // Period of the grey ramp used while the colour table is empty.
    static constexpr std::int32_t GreyRampLength = 64;
    static constexpr TColour GreyRampStep = 0x020202;
    static constexpr TColour HighlightColour = clWhite;
    // How many points ahead of the one visited a pass along a row fetches values: enough
    // to cover a trip to the last-level cache at a few nanoseconds a point.
    static constexpr std::int32_t SweepPrefetchPoints = 8;

    TFunctionPaint();
    ~TFunctionPaint() override;

    // Inline: the sweep calls both for every pixel of the area.
    std::int32_t GetValue(std::int32_t X, std::int32_t Y) const {
        if (X < 0 || Y < 0 || static_cast<std::size_t>(X) >= Values.size() ||
            static_cast<std::size_t>(Y) >= Values.Height())
            throw ERangeError();
        return Values[X][Y];
    }
    void SetValue(std::int32_t X, std::int32_t Y, std::int32_t Value) {
        if (X < 0 || Y < 0 || static_cast<std::size_t>(X) >= Values.size() ||
            static_cast<std::size_t>(Y) >= Values.Height())
            throw ERangeError();
        Values[X][Y] = Value;
        PlotPixel(X, Y, Value < 0 ? clBlack : ColourOf(Value));
    }
    TColour ColourOf(std::int32_t Value) const {
        if (Value < 0)
            return clBlack;
        if (Colours.empty())
            return (Value % GreyRampLength) * GreyRampStep;
        // A 32-bit division: it costs a fraction of a 64-bit one, and this runs for every
        // pixel drawn. A table is far shorter than 2^32 entries.
        return Colours[static_cast<std::uint32_t>(Value) %
                       static_cast<std::uint32_t>(Colours.size())];
    }

    // The colour table; changed by the GUI thread only while the painter is idle or held.
    void ClearColours();
    void AddColour(TColour Colour);
    void AddGradient(TColour FromColour, TColour ToColour, std::int32_t Steps);

    // Direction of the next refinement pass: false along rows, true down columns.
    bool ColumnWise = false;
    // Grid step of the coarsest pass, a power of two.
    std::int32_t InitialStep = DefaultInitialStep;
    // Paint a pixel white when its calculation is queued.
    bool HighlightCalculations = false;
    // Pending calculations, oldest first; owned (freed) by the painter.
    std::vector<TFunctionPaintCalculation*> Calculations;
    // Values[X][Y]: -1 not calculated, >= 0 a result, other negatives shown black.
    TValueColumns Values;
    std::vector<TColour> Colours;

    // Figures of the last paint, for the renderer and the benchmark; read while idle.
    std::int64_t CalculatedPixels = 0;
    std::int64_t FilledPixels = 0;

protected:
    void PrepareArea() override;
    void PaintArea() override;
    virtual TFunctionPaintCalculation* CreateCalculation(std::int32_t X, std::int32_t Y) = 0;

    // One cycle: every pending calculation advances one slice, newest first. A subclass
    // whose calculations are all of one type may override it with a loop that knows the
    // type; it must keep the order and end with EndCycle.
    virtual void ProcessCalculations();
    // Takes over the calculation of (X, Y), just queued (and highlighted). A subclass that
    // keeps its pending work elsewhere overrides this, CalculationsPending and
    // ProcessCalculations together.
    virtual void AddCalculation(std::int32_t X, std::int32_t Y);
    virtual bool CalculationsPending() const { return !Calculations.empty(); }
    // Runs cycles until nothing is pending or Terminated is set.
    virtual void DrainCalculations();

    // The pass being swept (its X and Y say where it began, or where its sweep stopped,
    // not the point being visited), and the value its test gives (X, Y) without the
    // duplicate check: a subclass may look ahead along the pass, since within one pass
    // the tests read only points of earlier passes.
    const TPassCursor& Pass() const { return FPass; }
    std::int64_t PassNumber() const { return FPassNumber; }
    // Inline: the lookahead walks the pass with it.
    std::int32_t PeekCheck(std::int32_t X, std::int32_t Y) const {
        const std::int32_t H = FPass.S / 2;
        return FPass.Square ? SquareTest(X, Y, H) : DiamondTest(X, Y, H);
    }
    // Draws the finished calculation at index i and frees it, leaving its slot empty.
    void CompleteCalculation(std::size_t i);
    // Removes the emptied slots (keeping the order of the rest) and lets a pending
    // Suspend take hold. True when settings may have changed since the cycle began.
    // Inline: the accelerated schedule ends a cycle at every visited pixel.
    bool EndCycle(bool AnyDone) {
        if (AnyDone)
            std::erase(Calculations, nullptr);
        // The only place a pending Suspend takes hold: between two cycles, where the
        // painter holds no lock and no allocation is in progress.
        const bool Held = CheckSuspend();
        const bool Changed = CycleEnded() || Held;
        if (Changed) [[unlikely]]
            FSettingsMayHaveChanged = true;
        return Changed;
    }
    // Lets a pending Suspend take hold in long work outside the cycles (work that prepares
    // a paint or a change of its limits), which holds no lock and is between allocations
    // where it asks. True when it held: settings may have changed.
    bool HoldIfAsked() {
        const bool Held = CheckSuspend();
        if (Held)
            FSettingsMayHaveChanged = true;
        return Held;
    }
    // Runs on the painter thread at the end of every cycle, right where a Suspend holds:
    // a change made here is a change made while held. For tests and tools; returns true
    // when it may have changed settings.
    virtual bool CycleEnded() { return false; }

    // Visits the points of the pass being swept, one cycle after each.
    virtual void SweepPass() {
        SweepPoints([this] { ProcessCalculations(); });
    }
    // The loop the refinement spends its time in, once per pixel of the area: a subclass
    // whose cycle is cheap passes it in here, so that the test, the fill and the cycle
    // compile into one loop.
    template <class TCycle> void SweepPoints(const TCycle& Cycle);

private:
    template <bool Square, bool Down, class TCycle> void SweepLines(const TCycle& Cycle);
    void RefinePaint();
    void RefinePass(std::int32_t StartX, std::int32_t StartY, bool Square, std::int32_t S);
    std::int32_t CheckSquare(std::int32_t X, std::int32_t Y, std::int32_t H) const {
        Assert(At(X, Y) == NotCalculated, "TFunctionPaint.CheckSquare: Duplicate calculation");
        return SquareTest(X, Y, H);
    }
    std::int32_t CheckDiamond(std::int32_t X, std::int32_t Y, std::int32_t H) const {
        Assert(At(X, Y) == NotCalculated, "TFunctionPaint.CheckDiamond: Duplicate calculation");
        return DiamondTest(X, Y, H);
    }
    // A point whose test reaches outside the area is always calculated.
    std::int32_t SquareTest(std::int32_t X, std::int32_t Y, std::int32_t H) const {
        if (X - H < 0 || X + H >= Width() || Y - H < 0 || Y + H >= Height())
            return NotCalculated;
        const std::int32_t A = At(X - H, Y - H);
        const std::int32_t B = At(X + H, Y + H);
        const std::int32_t C = At(X - H, Y + H);
        const std::int32_t D = At(X + H, Y - H);
        return (A == B && C == D && A == D) ? A : NotCalculated;
    }
    std::int32_t DiamondTest(std::int32_t X, std::int32_t Y, std::int32_t H) const {
        if (X - H < 0 || X + H >= Width() || Y - H < 0 || Y + H >= Height())
            return NotCalculated;
        const std::int32_t Left = At(X - H, Y);
        const std::int32_t Right = At(X + H, Y);
        const std::int32_t Lower = At(X, Y + H);
        const std::int32_t Upper = At(X, Y - H);
        return (Left == Right && Lower == Upper && Left == Upper) ? Left : NotCalculated;
    }
    void QueueCalculation(std::int32_t X, std::int32_t Y);
    void FreeCalculations();

    // Unchecked, for the sweep: its points and their tests lie inside the area, and
    // RefinePaint has checked that the columns are laid out for the area's height.
    std::size_t Index(std::int32_t X, std::int32_t Y) const {
        return static_cast<std::size_t>(X) * static_cast<std::size_t>(Height()) +
               static_cast<std::size_t>(Y);
    }
    std::int32_t At(std::int32_t X, std::int32_t Y) const { return Values.Data()[Index(X, Y)]; }

    TPassCursor FPass;
    std::int64_t FPassNumber = 0;
    // Set where a cycle ends and settings may have changed; the sweep forgets the colour
    // it keeps when it sees it.
    bool FSettingsMayHaveChanged = false;
};

template <class TCycle> void TFunctionPaint::SweepPoints(const TCycle& Cycle) {
    // One loop per shape of pass, so that the test and the direction are fixed in each.
    if (FPass.Square)
        FPass.ColumnWise ? SweepLines<true, true>(Cycle) : SweepLines<true, false>(Cycle);
    else
        FPass.ColumnWise ? SweepLines<false, true>(Cycle) : SweepLines<false, false>(Cycle);
}

template <bool Square, bool Down, class TCycle>
void TFunctionPaint::SweepLines(const TCycle& Cycle) {
    // The area does not change during a paint.
    const std::int32_t W = Width();
    const std::int32_t Ht = Height();
    const std::int32_t S = FPass.S;
    const std::int32_t H = S / 2;
    if (!FPass.Inside(W, Ht))
        return;
    // The point visited lives in registers: kept in the member, each step stored it in two
    // halves and read it back whole, and the failed store forwarding cost more than the
    // rest of the visit. The member is brought up to date where the sweep stops.
    std::int32_t X = FPass.X;
    std::int32_t Y = FPass.Y;
    // A line is a column of the pass when it runs down the columns, else a row.
    std::int32_t& Along = Down ? Y : X;
    std::int32_t& Across = Down ? X : Y;
    const std::int32_t LineEnd = Down ? Ht : W;
    const std::int32_t LineStart = Down ? FPass.StartY : FPass.StartX;
    const std::int32_t AcrossEnd = Down ? W : Ht;
    // Neighbouring points of a pass mostly take the same value, so the colour of the last
    // fill is kept rather than looked up (a division) again.
    std::int32_t LastValue = NotCalculated;
    TColour LastColour = clBlack;
    std::int32_t* const Data = Values.Data();
    const auto Stride = static_cast<std::ptrdiff_t>(Ht);
    for (; Across < AcrossEnd; Across += S, Along = LineStart) {
        for (; Along < LineEnd; Along += S) {
            if (Terminated()) [[unlikely]] {
                FPass.X = X;
                FPass.Y = Y;
                return;
            }
            // Along a row each point's test reads columns far apart in memory, too far for
            // the hardware to guess: fetch the columns of a point some steps ahead. Down a
            // column the reads run through memory in order and need no help.
            if constexpr (!Down) {
                const std::int32_t Ahead = X + SweepPrefetchPoints * S;
                if (Ahead + H < W && Y >= H) {
                    const std::int32_t* Centre = Data + Index(Ahead, Y - H);
                    __builtin_prefetch(Centre - H * Stride);
                    __builtin_prefetch(Centre);
                    __builtin_prefetch(Centre + H * Stride);
                }
            }
            const std::int32_t V = Square ? CheckSquare(X, Y, H) : CheckDiamond(X, Y, H);
            if (V == NotCalculated) {
                QueueCalculation(X, Y);
                ++CalculatedPixels;
            } else {
                if (V != LastValue) {
                    LastValue = V;
                    LastColour = ColourOf(V);
                }
                Data[Index(X, Y)] = V;
                PlotPixel(X, Y, LastColour);
                ++FilledPixels;
            }
            Cycle();
            if (FSettingsMayHaveChanged) [[unlikely]] {
                FSettingsMayHaveChanged = false;
                LastValue = NotCalculated;
            }
        }
    }
    FPass.X = X;
    FPass.Y = Y;
}
