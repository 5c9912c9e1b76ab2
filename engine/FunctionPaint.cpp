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
    Values.Resize(std::max(Width(), 0), std::max(Height(), 0));
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
    // The sweep reads and writes without range checks; Values is public, so make sure
    // once that it still has the layout PrepareArea gave it for the area.
    const auto Columns = static_cast<std::size_t>(std::max(Width(), 0));
    const auto Rows = static_cast<std::size_t>(std::max(Height(), 0));
    if (Values.size() < Columns || Values.Height() != Rows)
        throw ERangeError();
    std::fill_n(Values.Data(), Columns * Rows, NotCalculated);

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
    FPass = {StartX, StartY, S, ColumnWise, Square, StartX, StartY};
    ++FPassNumber;
    SweepPass();
    DrainCalculations();
    ColumnWise = !ColumnWise;
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
