#include "panel/Palette.h"

#include "engine/FunctionPaint.h"
#include "platform/Errors.h"

namespace {
constexpr TColour DefaultRed = 0x0000FF;
constexpr TColour DefaultGreen = 0x008000;
constexpr TColour DefaultBlue = 0xFF0000;
} // namespace

std::vector<TColour> DefaultBaseColours() {
    return {DefaultRed, DefaultGreen, DefaultBlue};
}

void BuildColourTable(TFunctionPaint& Painter, const std::vector<TColour>& BaseColours,
                      bool FadeFromBlack, std::int32_t Bands) {
    Assert(!BaseColours.empty(), "TFractalPanel.ApplySettings: No base colours");
    Painter.ClearColours();
    TColour Start = FadeFromBlack ? clBlack : BaseColours.back();
    for (const TColour Colour : BaseColours) {
        Painter.AddGradient(Start, Colour, Bands);
        if (!FadeFromBlack)
            Start = Colour;
    }
}
