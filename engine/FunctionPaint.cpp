#include "engine/FunctionPaint.h"

#include "platform/Checked.h"

#include <algorithm>
#include <memory>

namespace {
constexpr int ChannelCount = 3;
constexpr int ChannelBits = 8;
constexpr TColour ChannelMask = 0xFF;
} // namespace

TFunctionPaint::TFunctionPaint() = default;

TFunctionPaint::~TFunctionPaint() {
    StopThread();
    FreeCalculations();
}

void TFunctionPaint::FreeCalculations() {
    for (auto* Calculation : Calculations)
        delete Calculation;
    Calculations.clear();
}

void TFunctionPaint::ClearColours() {
    Colours.clear();
}

void TFunctionPaint::AddColour(TColour Colour) {
    Colours.push_back(Colour);
}

void TFunctionPaint::AddGradient(TColour FromColour, TColour ToColour, std::int32_t Steps) {
    if (Steps <= 0)
        return;
    const std::int32_t Last = Steps - 1;
    if (Last == 0)
        throw EDivByZero();
    for (std::int32_t i = 0; i <= Last; ++i) {
        TColour Out = 0;
        for (int Channel = 0; Channel < ChannelCount; ++Channel) {
            const int Shift = Channel * ChannelBits;
            const std::int32_t From = (FromColour >> Shift) & ChannelMask;
            const std::int32_t To = (ToColour >> Shift) & ChannelMask;
            // The larger of the two fading parts, not their sum: the middle of a fade
            // between two saturated colours stays bright.
            const std::int32_t Part = std::max(From * (Last - i) / Last, To * i / Last);
            Out |= Part << Shift;
        }
        Colours.push_back(Out);
    }
}

void TFunctionPaint::PrepareArea() {
    if (Width() > MaxAreaSide || Height() > MaxAreaSide)
        throw ERangeError();
    const std::int32_t Columns = std::max(Width(), 0);
    if (Values.size() < static_cast<std::size_t>(Columns))
        Values.resize(Columns);
    for (std::int32_t X = 0; X < Columns; ++X)
        Values[X].resize(std::max(Height(), 0));
}

void TFunctionPaint::PaintArea() {
    RefinePaint();
    DrainCalculations();
}

void TFunctionPaint::DrainCalculations() {
    while (CalculationsPending() && !Terminated())
        ProcessCalculations();
}

void TFunctionPaint::RefinePaint() {
    CalculatedPixels = 0;
    FilledPixels = 0;
    for (std::int32_t X = 0; X < Width(); ++X)
        std::fill(Values[X].begin(), Values[X].end(), NotCalculated);

    std::int32_t S = InitialStep;
    while (S > 0 && (S > Width() || S > Height()))
        S /= 2;
    // A step below 1 would never advance the sweep; an empty area has nothing to visit
    // anyway, and a non-empty one is still covered pixel by pixel.
    S = std::max(S, 1);
    RefinePass(0, 0, true, S);
    while (S > 1 && !Terminated()) {
        const std::int32_t H = S / 2;
        RefinePass(H, H, true, S);
        RefinePass(0, H, false, S);
        RefinePass(H, 0, false, S);
        S = H;
    }
}

void TFunctionPaint::RefinePass(std::int32_t StartX, std::int32_t StartY, bool Square,
                                std::int32_t S) {
    const std::int32_t H = S / 2;
    FPass = {StartX, StartY, S, ColumnWise, Square, StartX, StartY};
    ++FPassNumber;
    while (FPass.Inside(Width(), Height()) && !Terminated()) {
        const std::int32_t X = FPass.X;
        const std::int32_t Y = FPass.Y;
        const std::int32_t V = Square ? CheckSquare(X, Y, H) : CheckDiamond(X, Y, H);
        if (V == NotCalculated) {
            QueueCalculation(X, Y);
            ++CalculatedPixels;
        } else {
            SetValue(X, Y, V);
            ++FilledPixels;
        }
        FPass.Next(Width(), Height());
        ProcessCalculations();
    }
    DrainCalculations();
    ColumnWise = !ColumnWise;
}

std::int32_t TFunctionPaint::CheckSquare(std::int32_t X, std::int32_t Y, std::int32_t H) {
    Assert(GetValue(X, Y) == NotCalculated, "TFunctionPaint.CheckSquare: Duplicate calculation");
    return SquareTest(X, Y, H);
}

std::int32_t TFunctionPaint::CheckDiamond(std::int32_t X, std::int32_t Y, std::int32_t H) {
    Assert(GetValue(X, Y) == NotCalculated, "TFunctionPaint.CheckDiamond: Duplicate calculation");
    return DiamondTest(X, Y, H);
}

std::int32_t TFunctionPaint::SquareTest(std::int32_t X, std::int32_t Y, std::int32_t H) const {
    if (X - H < 0 || X + H >= Width() || Y - H < 0 || Y + H >= Height())
        return NotCalculated;
    const std::int32_t A = At(X - H, Y - H);
    const std::int32_t B = At(X + H, Y + H);
    const std::int32_t C = At(X - H, Y + H);
    const std::int32_t D = At(X + H, Y - H);
    return (A == B && C == D && A == D) ? A : NotCalculated;
}

std::int32_t TFunctionPaint::DiamondTest(std::int32_t X, std::int32_t Y, std::int32_t H) const {
    if (X - H < 0 || X + H >= Width() || Y - H < 0 || Y + H >= Height())
        return NotCalculated;
    const std::int32_t Left = At(X - H, Y);
    const std::int32_t Right = At(X + H, Y);
    const std::int32_t Lower = At(X, Y + H);
    const std::int32_t Upper = At(X, Y - H);
    return (Left == Right && Lower == Upper && Left == Upper) ? Left : NotCalculated;
}

std::int32_t TFunctionPaint::PeekCheck(std::int32_t X, std::int32_t Y) const {
    const std::int32_t H = FPass.S / 2;
    return FPass.Square ? SquareTest(X, Y, H) : DiamondTest(X, Y, H);
}

void TFunctionPaint::QueueCalculation(std::int32_t X, std::int32_t Y) {
    if (HighlightCalculations)
        PlotPixel(X, Y, HighlightColour);
    AddCalculation(X, Y);
}

void TFunctionPaint::AddCalculation(std::int32_t X, std::int32_t Y) {
    std::unique_ptr<TFunctionPaintCalculation> Calculation(CreateCalculation(X, Y));
    Calculations.push_back(Calculation.get());
    Calculation.release();
}

void TFunctionPaint::ProcessCalculations() {
    bool AnyDone = false;
    for (std::size_t i = Calculations.size(); i-- > 0;) {
        Calculations[i]->Advance();
        if (Calculations[i]->Done) {
            CompleteCalculation(i);
            AnyDone = true;
        }
    }
    EndCycle(AnyDone);
}

void TFunctionPaint::CompleteCalculation(std::size_t i) {
    TFunctionPaintCalculation* Calculation = Calculations[i];
    // Drawn before it is freed: if drawing fails, the list still owns it.
    SetValue(Calculation->X, Calculation->Y, Calculation->Value);
    delete Calculation;
    Calculations[i] = nullptr;
}
