#include "panel/Palette.h"
#include "panel/FractalPanel.h"

#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
constexpr TColour Red = 0x0000FF, Green = 0x00FF00, Blue = 0xFF0000, White = 0xFFFFFF,
                  Magenta = 0xFF00FF, Aqua = 0xFFFF00, Yellow = 0x00FFFF;

std::vector<TColour> Table(const std::vector<TColour>& Base, bool Fade, std::int32_t Bands) {
    TPainter<TMandelPaint> Painter;
    Painter.AddColour(0x123456); // a stale table must be replaced, not extended
    BuildColourTable(Painter, Base, Fade, Bands);
    return Painter.Colours;
}
} // namespace

TEST(Palette, GradientsOfTheWorkedExamples) {
    EXPECT_EQ(Table({White}, true, 4),
              (std::vector<TColour>{0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF}));
    // Red and green without fade: green to red, then red to green.
    EXPECT_EQ(Table({Red, Green}, false, 4),
              (std::vector<TColour>{0x00FF00, 0x00AA55, 0x0055AA, 0x0000FF, 0x0000FF, 0x0055AA,
                                    0x00AA55, 0x00FF00}));
    // The second gradient runs from yellow to white; shared channels dip.
    const auto YellowWhite = Table({Yellow, White}, false, 4);
    EXPECT_EQ(std::vector<TColour>(YellowWhite.begin() + 4, YellowWhite.end()),
              (std::vector<TColour>{0x00FFFF, 0x55AAAA, 0xAAAAAA, 0xFFFFFF}));
}

TEST(Palette, WhiteAloneWithoutFadeDipsToGrey) {
    EXPECT_EQ(Table({White}, false, 4),
              (std::vector<TColour>{0xFFFFFF, 0xAAAAAA, 0xAAAAAA, 0xFFFFFF}));
    const auto Wide = Table({White}, false, 32);
    ASSERT_EQ(Wide.size(), 32u);
    const auto Lowest = std::min_element(Wide.begin(), Wide.end());
    EXPECT_EQ(*Lowest, 0x838383);
    EXPECT_EQ(Lowest - Wide.begin(), 15);
    EXPECT_EQ(Wide[16], 0x838383);
}

TEST(Palette, ColourPageDefaultsRiseFromBlackPerColour) {
    const auto T = Table({Magenta, Aqua, Yellow}, true, 32);
    ASSERT_EQ(T.size(), 96u);
    EXPECT_EQ(T[0], 0x000000);
    EXPECT_EQ(T[1], 0x080008);
    EXPECT_EQ(T[2], 0x100010);
    EXPECT_EQ(T[31], Magenta);
    EXPECT_EQ(T[32], 0x000000);
    EXPECT_EQ(T[33], 0x080800);
    EXPECT_EQ(T[63], Aqua);
    EXPECT_EQ(T[64], 0x000000);
    EXPECT_EQ(T[95], Yellow);
}

TEST(Palette, TableHoldsBandsPerBaseColourAndJoinsUpWithoutFade) {
    const std::vector<TColour> SaverList{0xFF0000, 0x008000, 0x0000FF, 0x00FFFF,
                                         0x000080, 0xFFFF00, 0xFFFFFF};
    for (const bool Fade : {false, true})
        for (const std::int32_t Bands : {2, 4, 16, 100}) {
            const auto T = Table(SaverList, Fade, Bands);
            ASSERT_EQ(T.size(), SaverList.size() * Bands);
            for (std::size_t i = 0; i < SaverList.size(); ++i) {
                EXPECT_EQ(T[i * Bands], Fade ? clBlack : SaverList[(i + 6) % 7]);
                EXPECT_EQ(T[i * Bands + Bands - 1], SaverList[i]);
            }
        }
    const auto Cyclic = Table({Red, Green, Blue}, false, 8);
    EXPECT_EQ(Cyclic.front(), Blue);
    EXPECT_EQ(Cyclic.back(), Blue);
}

TEST(Palette, PanelFallsBackToRedGreenBlue) {
    TFractalPanel Panel;
    TPainter<TMandelPaint> Painter;
    Panel.SetColours({}, false, 4);
    EXPECT_EQ(Panel.BaseColours(), (std::vector<TColour>{0x0000FF, 0x008000, 0xFF0000}));
    Panel.ApplySettings(Painter);
    EXPECT_EQ(Painter.Colours,
              (std::vector<TColour>{0xFF0000, 0xAA0055, 0x5500AA, 0x0000FF, 0x0000FF, 0x002AAA,
                                    0x005555, 0x008000, 0x008000, 0x555500, 0xAA2A00, 0xFF0000}));
}

TEST(Palette, PanelBeforeAnySettingsPaintsInColourWithPainterDefaults) {
    TFractalPanel Panel;
    TPainter<TMandelPaint> Painter;
    Painter.InitialStep = 4;
    Panel.ApplySettings(Painter);
    EXPECT_EQ(Painter.Colours.size(), 3u * TFractalPanel::DefaultBands);
    EXPECT_EQ(Painter.Colours[0], clBlack);
    EXPECT_EQ(Painter.Colours[TFractalPanel::DefaultBands - 1], 0x0000FF);
    EXPECT_EQ(Painter.InitialStep, TFunctionPaint::DefaultInitialStep);
    EXPECT_EQ(Painter.MaxAge, TMandelPaint::DefaultMaxAge);
    EXPECT_EQ(Painter.DistanceLimit, TMandelPaint::DefaultDistanceLimit);
    EXPECT_FALSE(Painter.HighlightCalculations);
    EXPECT_FALSE(Painter.ShowZoomFrame);
}

TEST(Palette, PanelCopiesOptionsAtFullPrecision) {
    TFractalPanel Panel;
    TPainter<TMandelPaint> Painter;
    // Not representable in a double: the limit must not pass through one.
    const Extended Limit = 1000.0L + std::ldexp(1.0L, -50);
    ASSERT_NE(static_cast<Extended>(static_cast<double>(Limit)), Limit);
    Panel.SetFractalOptions(8, 5000, Limit, true);
    Panel.ApplySettings(Painter);
    EXPECT_EQ(Painter.InitialStep, 8);
    EXPECT_EQ(Painter.MaxAge, 5000);
    EXPECT_EQ(Painter.DistanceLimit, Limit);
    EXPECT_TRUE(Painter.HighlightCalculations);
    EXPECT_FALSE(Painter.ShowZoomFrame);
}

TEST(Palette, SetColoursRefusesWhatCannotBuildATable) {
    TFractalPanel Panel;
    Panel.SetColours({White}, false, 4);
    EXPECT_THROW(Panel.SetColours({Red}, true, 1), ERangeError);
    EXPECT_THROW(Panel.SetColours({Red, -1}, true, 8), ERangeError);
    EXPECT_THROW(Panel.SetColours({0x1000000}, true, 8), ERangeError);
    EXPECT_EQ(Panel.BaseColours(), std::vector<TColour>{White});
    EXPECT_FALSE(Panel.FadeFromBlack());
    EXPECT_EQ(Panel.Bands(), 4);
}
